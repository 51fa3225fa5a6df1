#!/usr/bin/env bash
# kestrel-collect over a freshly made sample site prints exactly the rows the
# generator put there inside the date window, and fails on the computer that
# has no folder. With a third argument (scripts/wine-exec) both are Windows
# programs: they get Wine's paths and the collector writes CP932.
set -euo pipefail
sample_site=$1
collect=$2
runner=${3:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TZ=Asia/Tokyo

site="$work/site"
to_utf8() { cat; }
if [ -n "$runner" ]; then
  site="Z:${site//\//\\}"
  to_utf8() { iconv -f CP932 -t UTF-8; }
fi

$runner "$sample_site" --out "$site" --end "2024-03-15 12:00:00" >/dev/null

status=0
$runner "$collect" --log-dir "$site" --list "$site/site.lst" \
  --from 2024-03-09 --to 2024-03-14 >"$work/rows.out" 2>"$work/report.out" || status=$?
to_utf8 <"$work/rows.out" >"$work/rows.csv"
to_utf8 <"$work/report.out" >"$work/report.txt"
[ "$status" -eq 1 ] || { echo "exit code $status, expected 1 (PC02 has no folder)"; exit 1; }
grep -q '失敗:(PC02)' "$work/report.txt" || { echo "no failure line for PC02"; cat "$work/report.txt"; exit 1; }

# The generator's rows whose date lies in the window, in the same order.
{
  head -n 1 "$work/site/expected_rows.csv"
  tail -n +2 "$work/site/expected_rows.csv" | grep -E '^[^,]*,"2024/03/(09|1[0-4]) '
} >"$work/expected.csv"

rows=$(($(wc -l <"$work/expected.csv") - 1))
[ "$rows" -gt 100 ] || { echo "only $rows expected rows: the window misses the site"; exit 1; }
if ! cmp -s "$work/expected.csv" "$work/rows.csv"; then
  echo "kestrel-collect's rows differ from the generator's:"
  diff "$work/expected.csv" "$work/rows.csv" | head -20
  exit 1
fi
echo "kestrel-collect printed the $rows expected rows"
