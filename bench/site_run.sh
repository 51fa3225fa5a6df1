#!/usr/bin/env bash
# kestrel-collect over a simulated site reached through the network (the real
# collector code in bench/site/site_run.cpp; every service call answers after
# a set latency, every tenth computer never answers):
#   a) 2,000 computers, 20 ms a call, --timeout 2, 32 jobs: the run's time
#      against what the calls themselves need at that concurrency, and its
#      peak memory;
#   b) message modules that take 20 ms to load: rows per second with the
#      message step skipped, with --messages (modules once a computer), and
#      with the modules loaded for each event as before;
#   c) --jobs 32 writes what --jobs 1 writes.
# Each figure is the median of RUNS runs (default 3) under /usr/bin/time -v.
#   bench/site_run.sh          RUNS=5 bench/site_run.sh
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
runs=${RUNS:-3}
[[ $runs =~ ^[1-9][0-9]*$ ]] || { echo "site_run.sh: RUNS must be a positive whole number" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "site_run.sh: /usr/bin/time is missing (scripts/setup installs it)" >&2; exit 1; }
export TZ=Asia/Tokyo

cd "$top"
cmake --preset bench >/dev/null
cmake --build --preset bench -j2 --target kestrel-site-run
site=$top/build/bench/bench/site/kestrel-site-run

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# shellcheck source=bench/measure.sh
source "$top/bench/measure.sh"

# The program's own line: "... 14400 lines out, 3543 rows/s, ... one after another: 108.0 s".
said() { "$@" | tail -n 1; }
field() { sed -E "s/.* ([0-9.]+) $1.*/\1/" <<<"$2"; }

# a) The calls of the 1,800 computers that answer, and 200 timeouts of 2 s, over 32 jobs.
big=("$site" --computers 2000 --call-ms 20 --dead-every 10 -- --timeout 2 --jobs 32)
for ((i = 0; i < runs; ++i)); do measure big "${big[@]}"; done
line=$(said "${big[@]}")
answering=$(sed -E 's/.*one after another: ([0-9.]+) s.*/\1/' <<<"$line")
ideal=$(awk -v a="$answering" 'BEGIN { printf "%.2f", (a + 200 * 2) / 32 }')
echo
echo "a) 2,000 computers, 20 ms a call, 200 never answering, --timeout 2, --jobs 32"
echo "   ${big[*]}"
echo "   run $(median big) s, calls at 32 at once ($answering s + 200 x 2 s) / 32 = $ideal s:" \
  "$(ratio "$(median big)" "$ideal") x; peak $(peak big) MiB"

# b) Rows per second as the message step is done.
shape=(--computers 320 --events 50 --module-ms 20 --dead-every 10)
declare -A how=([skipped]="-- --format jsonl" [messages]="-- --format jsonl --messages"
                [per-event]="--per-event -- --format jsonl --messages")
echo
echo "b) ${shape[*]} --timeout 2 (32 jobs)"
for name in skipped messages per-event; do
  # shellcheck disable=SC2206
  run=("$site" "${shape[@]}" ${how[$name]} --timeout 2)
  for ((i = 0; i < runs; ++i)); do measure "$name" "${run[@]}"; done
  line=$(said "${run[@]}")
  rows=$(field 'lines out' "$line")
  printf '   %-9s %s rows in %s s: %.0f rows/s, %s module loads; peak %s MiB\n' "$name" "$rows" \
    "$(median "$name")" "$(awk -v r="$rows" -v s="$(median "$name")" 'BEGIN { print r / s }')" \
    "$(field 'module loads' "$line")" "$(peak "$name")"
done
echo "   per-event / messages time: $(ratio "$(median per-event)" "$(median messages)") x," \
  "messages / skipped: $(ratio "$(median messages)" "$(median skipped)") x"

# c) The same output and report whatever the jobs.
small=(--computers 200 --call-ms 5 --dead-every 10)
"$site" "${small[@]}" --out "$tmp/one.csv" -- --timeout 1 --jobs 1 >"$tmp/one.txt"
"$site" "${small[@]}" --out "$tmp/many.csv" -- --timeout 1 --jobs 32 >"$tmp/many.txt"
echo
echo "c) ${small[*]} --timeout 1: --jobs 1 against --jobs 32"
for f in csv csv.report; do
  if cmp -s "$tmp/one.$f" "$tmp/many.$f"; then same=same; else same=DIFFERENT; fi
  echo "   $f: $same ($(wc -l <"$tmp/one.$f") lines)"
done
echo "   jobs 1: $(cut -d, -f1 "$tmp/one.txt"); jobs 32: $(cut -d, -f1 "$tmp/many.txt")"
