#!/usr/bin/env bash
# Times kestrel-collect's outputs for analysts against its plain CSV on a 1 GB
# log grown from a sample site (JSON lines, detail columns, sessions, the
# summary, and the events around the logons: --events all), and a site of
# many computers read one at a time against two at once. Each figure is the median of RUNS runs (default 3) under
# /usr/bin/time -v; the sides of a comparison take turns, so that all meet the
# same machine.
#   bench/collector_outputs.sh          RUNS=5 bench/collector_outputs.sh          DC=1 bench/collector_outputs.sh
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
runs=${RUNS:-3}
[[ $runs =~ ^[1-9][0-9]*$ ]] || { echo "collector_outputs.sh: RUNS must be a positive whole number" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "collector_outputs.sh: /usr/bin/time is missing (scripts/setup installs it)" >&2; exit 1; }
export TZ=Asia/Tokyo

cd "$top"
cmake --preset bench >/dev/null
cmake --build --preset bench -j2 --target kestrel-collect kestrel-sample-site kestrel-grow-log
build=$top/build/bench
collect=$build/collector/kestrel-collect

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# shellcheck source=bench/measure.sh
source "$top/bench/measure.sh"

"$build/tools/kestrel-sample-site" --out "$tmp/site" --days 366 --end "2024-03-15 12:00:00" >/dev/null
# SV01's log, the site's largest before the domain controller joined: the
# 1 GB log of every earlier figure. DC=1: DC01's, a domain controller's,
# most of its events Kerberos tickets.
grown=SV01
[ -z "${DC:-}" ] || grown=DC01
source="$tmp/site/$grown/Security.evtx"
mkdir -p "$tmp/big/BIG"
"$build/tools/kestrel-grow-log" "$source" "$tmp/big/BIG/Security.evtx" 1024 2>/dev/null

# a) Each output against the plain CSV on the 1 GB log.
big=("$collect" --log-dir "$tmp/big" BIG --from 2000-01-01 --to 2100-01-01)
outputs=(plain jsonl details sessions summary all alljsonl)
declare -A option=([plain]="" [jsonl]="--format jsonl" [details]="--details" [sessions]="--sessions"
                   [summary]="--summary" [all]="--events all" [alljsonl]="--events all --format jsonl")
for ((i = 0; i < runs; ++i)); do
  for name in "${outputs[@]}"; do
    # shellcheck disable=SC2086
    measure "$name" "${big[@]}" ${option[$name]}
  done
done
rows=$(("$(${big[@]} 2>/dev/null | wc -l)" - 1))

# b) A site of 60 computers, each with one of the sample site's year-long logs.
computers=()
for ((c = 1; c <= 60; ++c)); do
  name=$(printf 'PC%03d' "$c")
  mkdir -p "$tmp/many/$name"
  logs=("$tmp"/site/*/Security.evtx)
  ln -s "${logs[$((c % ${#logs[@]}))]}" "$tmp/many/$name/Security.evtx"
  computers+=("$name")
done
many=("$collect" --log-dir "$tmp/many" --from 2000-01-01 "${computers[@]}")
for ((i = 0; i < runs; ++i)); do
  measure jobs1 "${many[@]}" --jobs 1
  measure jobs2 "${many[@]}" --jobs 2
done
"${many[@]}" --jobs 1 >"$tmp/jobs1.csv" 2>&1
"${many[@]}" --jobs 2 >"$tmp/jobs2.csv" 2>&1
same=yes
cmp -s "$tmp/jobs1.csv" "$tmp/jobs2.csv" || same=NO

echo
echo "kestrel-collect, median of $runs runs: 1 GB log grown from a 366-day sample site ($rows rows)"
printf '  %-28s %10s %14s %14s\n' "" "median s" "peak RSS MiB" "/ plain CSV"
for name in "${outputs[@]}"; do
  printf '  %-28s %10s %14s %14s\n' "${option[$name]:-(plain CSV)}" "$(median "$name")" "$(peak "$name")" \
    "$(ratio "$(median "$name")" "$(median plain)")"
done
echo "  --events all / --events logon: CSV $(ratio "$(median all)" "$(median plain)")," \
  "JSON lines $(ratio "$(median alljsonl)" "$(median jsonl)")"
echo "60 computers of $(du -shL "$tmp/many" | cut -f1):"
printf '  %-28s %10s %14s\n' "--jobs 1" "$(median jobs1)" "$(peak jobs1)" "--jobs 2" "$(median jobs2)" "$(peak jobs2)"
echo "  --jobs 2 / --jobs 1: $(ratio "$(median jobs2)" "$(median jobs1)")   output the same: $same"
echo
echo "Commands (<tmp> a temporary folder, output to /dev/null):"
echo "  kestrel-collect --log-dir <tmp>/big BIG --from 2000-01-01 --to 2100-01-01 [OPTION]"
echo "  kestrel-collect --log-dir <tmp>/many --from 2000-01-01 PC001 ... PC060 --jobs 1|2"
[ "$same" = yes ]
