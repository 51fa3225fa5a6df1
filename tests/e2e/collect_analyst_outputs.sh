#!/usr/bin/env bash
# kestrel-collect's outputs for analysts over a fresh sample site: every output
# is the same read computer by computer or several at once; JSON lines are
# UTF-8 on Windows too; the collector's ForwardedEvents log gives the rows of
# the computers it collects, each marked with where it came from; sessions end
# in either kind of logoff or not at all. With a third argument
# (scripts/wine-exec) both are Windows programs.
set -euo pipefail
sample_site=$1
collect=$2
runner=${3:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TZ=Asia/Tokyo
# A crash report from Wine, when there is one, says more than the symptom.
fail() {
  echo "$*"
  grep -s -h -A16 '^Unhandled exception' "$work"/* || true
  exit 1
}

site="$work/site"
to_utf8() { cat; }
if [ -n "$runner" ]; then
  site="Z:${site//\//\\}"
  to_utf8() { iconv -f CP932 -t UTF-8; }
fi
$runner "$sample_site" --out "$site" --end "2024-03-15 12:00:00" >/dev/null
collect() { $runner "$collect" --log-dir "$site" --from 2024-03-01 "$@"; }
# Standard error less what Wine itself writes there when it starts a session
# (its channels' lines and the note that wine32 is missing).
report_of() {
  grep -v -E '^[0-9a-f]{4}:(fixme|err|warn|trace):|^it looks like wine32 is missing|^multiarch needs to be enabled|^execute "dpkg --add-architecture|^apt-get install wine32' "$1" || true
}

for options in "" "--format jsonl" "--details" "--sessions" "--sessions --format jsonl" \
               "--summary" "--summary --format jsonl"; do
  for jobs in 1 3; do
    status=0
    # shellcheck disable=SC2086
    collect --list "$site/site.lst" $options --jobs "$jobs" >"$work/out.$jobs" 2>"$work/err.$jobs" || status=$?
    [ "$status" -eq 1 ] || fail "$options --jobs $jobs: exit code $status, expected 1 (PC02 has no log)"
  done
  cmp -s "$work/out.1" "$work/out.3" || fail "$options: --jobs 3 writes other rows than --jobs 1"
  report_of "$work/err.1" >"$work/report.1"
  report_of "$work/err.3" >"$work/report.3"
  cmp -s "$work/report.1" "$work/report.3" ||
    fail "$options: --jobs 3 writes another report than --jobs 1:" "$(diff "$work/report.1" "$work/report.3" | head -n 20)"
  [ -s "$work/out.1" ] || fail "$options: no output"
done

# JSON is UTF-8 whatever the system's code page.
collect --format jsonl localhost PC01 >"$work/rows.jsonl" 2>/dev/null
iconv -f UTF-8 -t UTF-8 "$work/rows.jsonl" >/dev/null || fail "JSON lines are not UTF-8"
grep -q '"failure_reason":"パスワードが違います"' "$work/rows.jsonl" || fail "no failure reason in Japanese"

# The collector's forwarded log: the same rows as the two computers' own logs.
collect --log ForwardedEvents --format jsonl SV01 >"$work/forwarded.jsonl" 2>/dev/null
[ "$(wc -l <"$work/forwarded.jsonl")" -eq "$(wc -l <"$work/rows.jsonl")" ] ||
  fail "ForwardedEvents holds $(wc -l <"$work/forwarded.jsonl") rows, the computers' logs $(wc -l <"$work/rows.jsonl")"
origins=$(grep -o '"origin":"[^"]*"' "$work/forwarded.jsonl" | sort -u | tr '\n' ' ')
[ "$origins" = '"origin":"ADMIN01.kestrel.local" "origin":"PC01.kestrel.local" ' ] ||
  fail "forwarded rows come from: $origins"
status=0
collect --log ForwardedEvents PC01 >/dev/null 2>"$work/err" || status=$?
[ "$status" -eq 1 ] || fail "a computer without a forwarded log: exit code $status"

# Sessions end by 4647 or 4634, or are still open.
collect --sessions --format jsonl localhost PC01 SV01 >"$work/sessions.jsonl" 2>/dev/null
for end in '"end_event":4647' '"end_event":4634' '"end_event":null'; do
  grep -q "$end" "$work/sessions.jsonl" || fail "no session with $end"
done
collect --sessions localhost >"$work/sessions.csv" 2>/dev/null
to_utf8 <"$work/sessions.csv" | head -n 1 | grep -q '^コンピュータ,ログオンID,' || fail "sessions CSV has no heading"

echo "kestrel-collect's analyst outputs hold"
