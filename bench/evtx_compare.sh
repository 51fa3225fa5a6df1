#!/usr/bin/env bash
# Times the .evtx reader beside libevtx's evtxexport and python-evtx on the
# same file, in one run, and prints records per second and the ratios.
#   bench/evtx_compare.sh [path/to/kestrel_bench] [file.evtx]
# The benchmark program comes from the `bench` preset (kestrel_bench).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bench=${1:-$top/build/bench/bench/kestrel_bench}
log=${2:-${KESTREL_SHARED_DIR:-$top/../shared}/evtx/security.evtx}
export KESTREL_SHARED_DIR=${KESTREL_SHARED_DIR:-$top/../shared}

seconds() { date +%s.%N; }
rate() { python3 -c "import sys; print('%.0f' % (float(sys.argv[1]) / float(sys.argv[2])))" "$1" "$2"; }

records=$(evtxexport "$log" 2>/dev/null | grep -c '^Event number')

# Ours: the median of five repetitions of BM_EvtxRead.
ours=$("$bench" --benchmark_filter='^BM_EvtxRead$' --benchmark_repetitions=5 \
        --benchmark_report_aggregates_only=true 2>/dev/null |
       awk '/BM_EvtxRead_median/ { for (i = 1; i <= NF; ++i) if ($i ~ /^items_per_second=/) {
              v = $i; sub(/items_per_second=/, "", v); m = 1;
              if (v ~ /k\/s$/) m = 1e3; if (v ~ /M\/s$/) m = 1e6; sub(/[kM]?\/s$/, "", v); printf "%.0f", v * m } }')

# libevtx: evtxexport writes every record's ID, source and strings (best of three).
best=
for _ in 1 2 3; do
  start=$(seconds); evtxexport "$log" > /dev/null 2>&1; end=$(seconds)
  took=$(python3 -c "print($end - $start)")
  if [ -z "$best" ] || python3 -c "import sys; sys.exit(0 if $took < $best else 1)"; then best=$took; fi
done
libevtx=$(rate "$records" "$best")

# python-evtx: every record rendered as XML, its only way to the values.
start=$(seconds); /usr/bin/python3 /usr/bin/evtx_dump.py "$log" > /dev/null; end=$(seconds)
pyevtx=$(rate "$records" "$(python3 -c "print($end - $start)")")

echo "file: $log ($records records)"
printf '%-28s %12s records/s\n' "BM_EvtxRead (ours)" "$ours" "evtxexport (libevtx)" "$libevtx" \
  "evtx_dump.py (python-evtx)" "$pyevtx"
printf 'ours / evtxexport: %.0fx   ours / python-evtx: %.0fx\n' \
  "$(python3 -c "print($ours / $libevtx)")" "$(python3 -c "print($ours / $pyevtx)")"
