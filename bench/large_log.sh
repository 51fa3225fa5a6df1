#!/usr/bin/env bash
# Times kestrel-collect on large logs grown from a sample site: one thread
# against two on a 1 GB log, against libevtx's evtxexport on a 100 MB log,
# and prints the single-thread BM_EvtxRead figure. Each figure is the median
# of RUNS runs (default 3) under /usr/bin/time -v; the two sides of a
# comparison take turns, so that both meet the same machine.
#   bench/large_log.sh          RUNS=5 bench/large_log.sh          DC=1 bench/large_log.sh
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
runs=${RUNS:-3}
[[ $runs =~ ^[1-9][0-9]*$ ]] || { echo "large_log.sh: RUNS must be a positive whole number" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "large_log.sh: /usr/bin/time is missing (scripts/setup installs it)" >&2; exit 1; }
export TZ=Asia/Tokyo
export KESTREL_SHARED_DIR=${KESTREL_SHARED_DIR:-$top/../shared}

cd "$top"
# shellcheck source=bench/measure.sh
source "$top/bench/measure.sh"
cmake --preset bench >/dev/null
cmake --build --preset bench -j2 --target kestrel-collect kestrel-sample-site kestrel-grow-log kestrel_bench
build=$top/build/bench
collect=$build/collector/kestrel-collect
bench=$build/bench/kestrel_bench

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# The site's largest log has the most chunks to repeat.
"$build/tools/kestrel-sample-site" --out "$tmp/site" --days 366 --end "2024-03-15 12:00:00" >/dev/null
# SV01's log, the site's largest before the domain controller joined: the
# 1 GB log of every earlier figure. DC=1: DC01's, a domain controller's,
# most of its events Kerberos tickets.
grown=SV01
[ -z "${DC:-}" ] || grown=DC01
source="$tmp/site/$grown/Security.evtx"
mkdir -p "$tmp/big/BIG" "$tmp/mid/MID"
# grow OUT SIZE_MB: the log, and its number of records on standard output.
grow() {
  "$build/tools/kestrel-grow-log" "$source" "$1" "$2" 2>"$tmp/grow.txt" || { cat "$tmp/grow.txt" >&2; return 1; }
  cat "$tmp/grow.txt" >&2
  sed -n 's/.*: \([0-9]*\) records in.*/\1/p' "$tmp/grow.txt"
}
big_records=$(grow "$tmp/big/BIG/Security.evtx" 1024)
mid_records=$(grow "$tmp/mid/MID/Security.evtx" 100)

collect_big=("$collect" --log-dir "$tmp/big" BIG --from 2000-01-01 --to 2100-01-01)
collect_mid=("$collect" --log-dir "$tmp/mid" MID --from 2000-01-01 --to 2100-01-01)

# a) One thread against two on the 1 GB log, and the same rows from both.
for ((i = 0; i < runs; ++i)); do
  measure one "${collect_big[@]}" --threads 1
  measure two "${collect_big[@]}" --threads 2
done
"${collect_big[@]}" --threads 1 >"$tmp/rows1.csv" 2>/dev/null
"${collect_big[@]}" --threads 2 >"$tmp/rows2.csv" 2>/dev/null
sum1=$(sha256sum <"$tmp/rows1.csv" | cut -c1-16)
sum2=$(sha256sum <"$tmp/rows2.csv" | cut -c1-16)
rows=$(($(wc -l <"$tmp/rows1.csv") - 1))
same=yes
[ "$sum1" = "$sum2" ] || same=NO

# b) kestrel-collect against evtxexport on the 100 MB log.
for ((i = 0; i < runs; ++i)); do
  measure ours "${collect_mid[@]}"
  measure libevtx evtxexport "$tmp/mid/MID/Security.evtx"
done

# c) The reader alone, one thread, over security.evtx in memory.
bm=$("$bench" --benchmark_filter='^BM_EvtxRead$' --benchmark_repetitions=3 \
       --benchmark_report_aggregates_only=true 2>/dev/null | grep 'BM_EvtxRead_median' || true)

echo
echo "Large logs grown from $(basename "$(dirname "$source")")/Security.evtx of a 366-day sample site," \
  "median of $runs runs:"
echo "  1 GB: $big_records records; 100 MB: $mid_records records; $rows rows from the 1 GB log"
printf '  %-44s %10s %14s\n' "" "median s" "peak RSS MiB" \
  "kestrel-collect 1 GB --threads 1" "$(median one)" "$(peak one)" \
  "kestrel-collect 1 GB --threads 2" "$(median two)" "$(peak two)" \
  "kestrel-collect 100 MB (default threads)" "$(median ours)" "$(peak ours)" \
  "evtxexport 100 MB" "$(median libevtx)" "$(peak libevtx)"
echo "  two threads / one thread: $(ratio "$(median two)" "$(median one)")" \
  "   rows the same: $same (sha256 $sum1, $sum2)"
echo "  evtxexport / kestrel-collect: $(ratio "$(median libevtx)" "$(median ours)")"
ips=$(grep -o 'items_per_second=[^ ]*' <<<"$bm" || true)
echo "  BM_EvtxRead median (one thread): ${ips:-${bm:-(no result)}}"
echo
echo "Commands (<tmp> a temporary folder, output to /dev/null):"
echo "  kestrel-collect --log-dir <tmp>/big BIG --from 2000-01-01 --to 2100-01-01 --threads 1|2"
echo "  kestrel-collect --log-dir <tmp>/mid MID --from 2000-01-01 --to 2100-01-01"
echo "  evtxexport <tmp>/mid/MID/Security.evtx"
echo "  kestrel_bench --benchmark_filter='^BM_EvtxRead\$' --benchmark_repetitions=3" \
  "--benchmark_report_aggregates_only=true"
[ "$same" = yes ]
