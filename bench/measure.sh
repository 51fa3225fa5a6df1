# Whole-process measurements for the bench scripts, sourced with $tmp set to
# a folder of their own.

# measure NAME COMMAND...: one run; appends "seconds peak-RSS-KiB" to $tmp/NAME.
measure() {
  local name=$1
  shift
  if ! /usr/bin/time -v -o "$tmp/time.txt" "$@" >/dev/null 2>"$tmp/stderr.txt"; then
    echo "$(basename "$0"): failed: $*" >&2
    tail -n 5 "$tmp/stderr.txt" "$tmp/time.txt" >&2
    exit 1
  fi
  awk -F': ' '/Elapsed \(wall clock\)/ { n = split($2, p, ":"); s = 0; for (i = 1; i <= n; ++i) s = s * 60 + p[i] }
              /Maximum resident set size/ { rss = $2 }
              END { print s, rss }' "$tmp/time.txt" >>"$tmp/$name"
}
median() {
  cut -d' ' -f1 "$tmp/$1" | sort -g |
    awk '{ v[NR] = $1 } END { printf "%.2f", (v[int((NR + 1) / 2)] + v[int(NR / 2) + 1]) / 2 }'
}
peak() { cut -d' ' -f2 "$tmp/$1" | sort -g | tail -n 1 | awk '{ printf "%.0f", $1 / 1024 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }
