#!/usr/bin/env bash
# How fast VeskoLite lists files compared with `vesko` printing them.
# Usage: bench/bench_app.sh [FOLDER]
#   FOLDER      files to add (default: the fixture corpus replicated to about
#               5,000 files in a scratch folder)
#   VESKO       the tool (default: build/cli/vesko)
#   VESKOLITE   the program (default: build/app/veskolite)
#   RUNS        runs of each, the median counts (default 3)
# The program runs offscreen with VESKOLITE_QUIT_WHEN_IDLE set: it adds the
# folder given on its command line (one event-loop pass after every file,
# as when a user drops the folder), reports how long adding took and closes.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
vesko=${VESKO:-$here/build/cli/vesko}
veskolite=${VESKOLITE:-$here/build/app/veskolite}
runs=${RUNS:-3}
[ -x "$vesko" ] || { echo "build first: $vesko not found" >&2; exit 2; }
[ -x "$veskolite" ] || { echo "build first: $veskolite not found" >&2; exit 2; }

scratch=""
if [ $# -ge 1 ]; then
  folder=$1
else
  scratch=$(mktemp -d)
  folder=$scratch/corpus
  mkdir -p "$folder"
  sources=()
  for f in "$here"/tests/fixtures/files/*; do
    case "$f" in *.pls|*.m3u|*.m3u8|*.lst|*.zpl|*.bsl|*.zvmtl) continue ;; esac  # lists would be read, not listed
    [ -f "$f" ] && sources+=("$f")
  done
  copies=$(( (5000 + ${#sources[@]} - 1) / ${#sources[@]} ))
  for ((i = 0; i < copies; i++)); do
    for f in "${sources[@]}"; do cp "$f" "$folder/$i-$(basename "$f")"; done
  done
fi
trap '[ -n "$scratch" ] && rm -rf "$scratch"' EXIT
count=$(find "$folder" -maxdepth 1 -type f | wc -l)
cat "$folder"/* >/dev/null 2>&1 || true

now() { date +%s.%N; }
median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

tool_times=() app_times=() app_walls=()
for ((r = 0; r < runs; r++)); do
  t0=$(now); "$vesko" "$folder" >/dev/null 2>&1 || true; t1=$(now)
  tool_times+=("$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')")

  t0=$(now)
  report=$(QT_QPA_PLATFORM=offscreen VESKOLITE_QUIT_WHEN_IDLE=1 VESKOLITE_INSTANCE="bench-$$" \
           "$veskolite" "$folder" 2>&1 >/dev/null | grep 'rows listed in' || true)
  t1=$(now)
  [ -n "$report" ] || { echo "veskolite did not report (another instance running?)" >&2; exit 1; }
  app_walls+=("$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')")
  app_times+=("$(sed -E 's/.* in ([0-9.]+) s.*/\1/' <<<"$report")")
  rows=$(sed -E 's/veskolite: ([0-9]+) rows.*/\1/' <<<"$report")
done
tv=$(printf '%s\n' "${tool_times[@]}" | median)
ta=$(printf '%s\n' "${app_times[@]}" | median)
tw=$(printf '%s\n' "${app_walls[@]}" | median)
rate() { awk -v n="$count" -v t="$1" 'BEGIN { printf "%.1f", n / t }'; }
printf 'files: %d (rows listed: %d), median of %d runs\n' "$count" "$rows" "$runs"
printf 'vesko (prints the summaries):        %7.3f s  %10s files/s\n' "$tv" "$(rate "$tv")"
printf 'veskolite (adds the rows):           %7.3f s  %10s files/s\n' "$ta" "$(rate "$ta")"
printf 'veskolite (whole run, start to end): %7.3f s  %10s files/s\n' "$tw" "$(rate "$tw")"
ratio=$(awk -v a="$tv" -v b="$ta" 'BEGIN { printf "%.2f", a / b }')
whole=$(awk -v a="$tv" -v b="$tw" 'BEGIN { printf "%.2f", a / b }')
printf 'ratio (veskolite adding over vesko, files/s): %s; whole run: %s\n' "$ratio" "$whole"
if awk -v r="$ratio" 'BEGIN { exit !(r >= 1 / 1.2) }'; then
  echo "veskolite adds files at least as fast as vesko prints them, within 20 %"
else
  echo "veskolite is more than 20 % slower than vesko" >&2
  exit 1
fi
