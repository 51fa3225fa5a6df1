#!/usr/bin/env bash
# kestrel-collect over a freshly made sample site prints exactly the rows the
# generator put there inside the date window, and fails on the computer that
# has no folder.
set -euo pipefail
sample_site=$1
collect=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TZ=Asia/Tokyo

"$sample_site" --out "$work/site" --end "2024-03-15 12:00:00" >/dev/null

status=0
"$collect" --log-dir "$work/site" --list "$work/site/site.lst" \
  --from 2024-03-09 --to 2024-03-14 >"$work/rows.csv" 2>"$work/report.txt" || status=$?
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
