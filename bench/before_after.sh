#!/usr/bin/env bash
# Two builds side by side: BM_EvtxRead and whole-process kestrel-collect on a
# 1 GB log grown from a sample site (plain rows, --details, --summary), each
# the median of RUNS runs (default 3), the two builds taking turns. Both
# folders are Release builds with KESTREL_BENCH=ON, for example:
#   cmake -S <tree> -B <folder> -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTREL_BENCH=ON
#   ninja -C <folder> kestrel-collect kestrel_bench kestrel-grow-log kestrel-sample-site
#   bench/before_after.sh BEFORE_FOLDER AFTER_FOLDER          RUNS=5 bench/before_after.sh ...
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
runs=${RUNS:-3}
[ $# -eq 2 ] || { echo "usage: bench/before_after.sh BEFORE_BUILD AFTER_BUILD" >&2; exit 2; }
[[ $runs =~ ^[1-9][0-9]*$ ]] || { echo "before_after.sh: RUNS must be a positive whole number" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "before_after.sh: /usr/bin/time is missing (scripts/setup installs it)" >&2; exit 1; }
before=$1
after=$2
export TZ=Asia/Tokyo
export KESTREL_SHARED_DIR=${KESTREL_SHARED_DIR:-$top/../shared}

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# shellcheck source=bench/measure.sh
source "$top/bench/measure.sh"

"$after/tools/kestrel-sample-site" --out "$tmp/site" --days 366 --end "2024-03-15 12:00:00" >/dev/null
mkdir -p "$tmp/big/BIG"
"$after/tools/kestrel-grow-log" "$tmp/site/SV01/Security.evtx" "$tmp/big/BIG/Security.evtx" 1024 2>/dev/null

# BM_EvtxRead: records a second, median of the runs of each build.
bm() {
  "$1/bench/kestrel_bench" --benchmark_filter='^BM_EvtxRead$' --benchmark_repetitions=1 2>/dev/null |
    awk '/^BM_EvtxRead / { for (i = 1; i <= NF; ++i) if ($i ~ /^items_per_second=/) {
           v = substr($i, 18); m = 1
           if (v ~ /k\/s$/) m = 1e3; else if (v ~ /M\/s$/) m = 1e6
           sub(/[kM]?\/s$/, "", v); print v * m } }'
}
for ((i = 0; i < runs; ++i)); do
  bm "$before" >>"$tmp/bm_before"
  bm "$after" >>"$tmp/bm_after"
done
mid() { sort -g "$tmp/$1" | awk '{ v[NR] = $1 } END { printf "%.0f", (v[int((NR + 1) / 2)] + v[int(NR / 2) + 1]) / 2 }'; }
echo "BM_EvtxRead (records/s): before $(mid bm_before), after $(mid bm_after)," \
  "after/before $(ratio "$(mid bm_after)" "$(mid bm_before)")"

for shape in rows details summary; do
  extra=()
  [ "$shape" = rows ] || extra=(--"$shape")
  for ((i = 0; i < runs; ++i)); do
    for side in before after; do
      folder=$before
      [ $side = before ] || folder=$after
      measure "${shape}_$side" "$folder/collector/kestrel-collect" --log-dir "$tmp/big" BIG \
        --from 2000-01-01 --to 2100-01-01 --threads 1 "${extra[@]}"
    done
  done
  echo "kestrel-collect 1 GB, $shape (s): before $(median "${shape}_before"), after $(median "${shape}_after")," \
    "after/before $(ratio "$(median "${shape}_after")" "$(median "${shape}_before")");" \
    "peak MB $(peak "${shape}_before") / $(peak "${shape}_after")"
done
