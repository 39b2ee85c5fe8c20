#!/usr/bin/env bash
# Files per second of `vesko` against `mediainfo` over the same files.
# Usage: bench/bench.sh [FOLDER]
#   FOLDER  files to analyse (default: the fixture corpus replicated to about
#           5,000 files in a scratch folder)
#   VESKO   the tool to measure (default: build/cli/vesko)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
vesko=${VESKO:-$here/build/cli/vesko}
[ -x "$vesko" ] || { echo "build first: $vesko not found" >&2; exit 2; }
command -v mediainfo >/dev/null || { echo "mediainfo is not installed (tools/install-deps.sh --with-encoders)" >&2; exit 2; }

scratch=""
if [ $# -ge 1 ]; then
  folder=$1
else
  scratch=$(mktemp -d)
  folder=$scratch/corpus
  mkdir -p "$folder"
  sources=("$here"/tests/fixtures/files/*)
  copies=$(( (5000 + ${#sources[@]} - 1) / ${#sources[@]} ))
  for ((i = 0; i < copies; i++)); do
    for f in "${sources[@]}"; do
      [ -f "$f" ] && cp "$f" "$folder/$i-$(basename "$f")" 2>/dev/null || true
    done
  done
fi
trap '[ -n "$scratch" ] && rm -rf "$scratch"' EXIT
count=$(find "$folder" -type f | wc -l)

# Warm the page cache so that both tools read from memory.
cat "$folder"/* >/dev/null 2>&1 || true

seconds() { local t0 t1; t0=$(date +%s.%N); "$@" >/dev/null 2>&1 || true; t1=$(date +%s.%N); awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }'; }

# Both tools get the same explicit file list (mediainfo given a folder
# reports only a few of its files).
list=$(mktemp)
find "$folder" -type f -print0 | sort -z > "$list"
tv=$(seconds xargs -0 -a "$list" "$vesko")
tm=$(seconds xargs -0 -a "$list" mediainfo)
rm -f "$list"
rate() { awk -v n="$count" -v t="$1" 'BEGIN { print n / t }'; }
printf 'files: %d\n' "$count"
printf 'vesko:     %8.2f s  %10.1f files/s\n' "$tv" "$(rate "$tv")"
printf 'mediainfo: %8.2f s  %10.1f files/s\n' "$tm" "$(rate "$tm")"
printf 'ratio (vesko files/s over mediainfo files/s): %.1f\n' "$(awk -v a="$tm" -v b="$tv" 'BEGIN { print a / b }')"
