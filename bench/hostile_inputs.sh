#!/usr/bin/env bash
# kestrel-collect on hostile and damaged input, two builds side by side:
#   bench/hostile_inputs.sh OLD_COLLECT NEW_COLLECT        RUNS=5 bench/hostile_inputs.sh ...
# Prints, for each build: the CSV fields a spreadsheet would run and the
# control bytes written over the hostile site, its rows and exit code; the
# rows of a sample-site log before and after one byte of a time field is
# flipped; the exit code and report lines on the damaged shared logs and on a
# folder given as --list; and, as the median of RUNS runs (default 3) with
# the peak memory, a 1 GB list of names, a 1 GB single line, and 100,000
# names that have no folder among 1,000 computer folders.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
[ $# -eq 2 ] || { echo "usage: bench/hostile_inputs.sh OLD_COLLECT NEW_COLLECT" >&2; exit 2; }
old=$(realpath "$1")
new=$(realpath "$2")
runs=${RUNS:-3}
export TZ=Asia/Tokyo
shared=${KESTREL_SHARED_DIR:-$top/../shared}

cd "$top"
cmake --preset bench >/dev/null
cmake --build --preset bench -j2 --target kestrel-sample-site >/dev/null
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# shellcheck source=bench/measure.sh
source "$top/bench/measure.sh"
site=$top/build/bench/tools/kestrel-sample-site
"$site" --hostile --out "$tmp/hostile" --end "2024-03-15 12:00:00"
"$site" --out "$tmp/site" --end "2024-03-15 12:00:00" --events "$tmp/events.jsonl" >/dev/null

# One byte of the TimeCreated value of the event at 85% of SV01's log, flipped.
mkdir -p "$tmp/flipped/SV01"
python3 - "$tmp" <<'EOF'
import json, struct, sys
tmp = sys.argv[1]
events = [e for e in map(json.loads, open(f"{tmp}/events.jsonl")) if e["computer"] == "SV01"]
target = events[int(len(events) * 0.85)]
data = bytearray(open(f"{tmp}/site/SV01/Security.evtx", "rb").read())
value = struct.pack("<Q", target["fileTime"])
at = next(i for i in range(len(data)) if data[i:i + 8] == value and data[i - 16:i - 12] != b"**\0\0")
data[at + 6] ^= 0xFF
open(f"{tmp}/flipped/SV01/Security.evtx", "wb").write(data)
EOF

# Fields that start like a formula (a lone "-" and negative numbers are none).
formulas() {
  python3 -c '
import csv, re, sys
rows = csv.reader(open(sys.argv[1], newline="", encoding="utf-8", errors="replace"))
print(sum(1 for r in rows for f in r if f[:1] in ("=", "+", "-", "@", "\t", "\r") and f != "-" and not re.fullmatch(r"-\d+", f)))' "$1"
}
# Control bytes but the CR LF and LF line ends.
controls() { python3 -c 'import re, sys; print(len(re.findall(rb"[\x00-\x09\x0b\x0c\x0e-\x1f\x7f]|\r(?!\n)", open(sys.argv[1], "rb").read())))' "$1"; }
longest() { awk '{ if (length($0) > n) n = length($0) } END { print n + 0 }' "$1"; }
run() { set +e; "$@" >"$tmp/out" 2>"$tmp/err"; echo $?; set -e; }

printf '%-58s %14s %14s\n' "" old new
row() { printf '%-58s %14s %14s\n' "$1" "$2" "$3"; }
both() {  # label, then a function of the collector's path
  local label=$1 fn=$2
  row "$label" "$($fn "$old")" "$($fn "$new")"
}

hostile() {
  local bin=$1
  shift
  # From 1970: the old reader stops at the first record before --from, and one
  # of these has a time of 0.
  run "$bin" --log-dir "$tmp/hostile" --from 1970-01-01 HOSTILE "$@" >/dev/null
}
for options in "" "--details" "--sessions"; do
  f() { hostile "$1" $options; formulas "$tmp/out"; }
  both "hostile: formula fields, CSV ${options:-rows}" f
done
for options in "" "--summary"; do
  f() { hostile "$1" $options; echo "$(controls "$tmp/out") + $(controls "$tmp/err")"; }
  both "hostile: control bytes out + err, ${options:-CSV rows}" f
done
f() { hostile "$1" --summary; longest "$tmp/out"; }
both "hostile: longest --summary line (bytes)" f
f() { echo "$(run "$1" --log-dir "$tmp/hostile" --from 2024-03-10 HOSTILE) / $(($(wc -l <"$tmp/out") - 1))"; }
both "hostile: exit code / rows" f
for d in site flipped; do
  f() { run "$1" --log-dir "$tmp/$d" --from 2024-03-01 SV01 >/dev/null; echo $(($(wc -l <"$tmp/out") - 1)); }
  both "SV01 rows from 2024-03-01, $d" f
done

mkdir -p "$tmp/damaged/a" "$tmp/damaged/b"
cp "$shared/evtx/sample_with_a_bad_chunk_magic.evtx" "$tmp/damaged/a/Security.evtx"
cp "$shared/evtx/security_bad_string_cache.evtx" "$tmp/damaged/b/Security.evtx"
for c in a b; do
  f() { echo "$(run "$1" --log-dir "$tmp/damaged" --from 2000-01-01 "$c") / $(grep -ac '06[23]:' "$tmp/err" || true)"; }
  both "damaged log $c: exit code / damage lines" f
done
f() { run "$1" --log-dir "$tmp/damaged" --list "$tmp"; }
both "--list naming a folder: exit code" f

# Names of a list file: 1 GB of them and one 1 GB line, read before a log
# folder that is not there is refused; and 100,000 names without a folder.
python3 - "$tmp" <<'EOF'
import sys
tmp = sys.argv[1]
with open(f"{tmp}/names.lst", "wb") as out:
    block = b"".join(b"PC%07d\r\n" % i for i in range(100000))
    for _ in range((1 << 30) // len(block) + 1):
        out.write(block)
with open(f"{tmp}/line.lst", "wb") as out:
    out.write(b"x" * (1 << 30))
with open(f"{tmp}/missing.lst", "wb") as out:
    out.write(b"".join(b"GONE%06d\r\n" % i for i in range(100000)))
EOF
mkdir -p "$tmp/many"
for i in $(seq 1 1000); do mkdir "$tmp/many/PC$i"; done
for case in names line missing; do
  for side in old new; do
    bin=$old
    [ $side = new ] && bin=$new
    # A folder that is not there: the list is read whole first, then refused.
    dir=$tmp/none
    [ $case = missing ] && dir=$tmp/many
    for ((r = 0; r < runs; ++r)); do measure "$case.$side" sh -c "'$bin' --jobs 1 --log-dir '$dir' --list '$tmp/$case.lst'; exit 0"; done
  done
  row "list $case.lst: seconds (median of $runs)" "$(median "$case.old")" "$(median "$case.new")"
  row "list $case.lst: peak memory (MB)" "$(peak "$case.old")" "$(peak "$case.new")"
done
