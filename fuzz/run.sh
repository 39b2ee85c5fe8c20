#!/usr/bin/env bash
# Runs the fuzz target for a bounded time, seeded from the fixture corpus.
# Usage: fuzz/run.sh FUZZ_BINARY SECONDS [WORK_DIR]
# Fails on any crash, sanitizer report, leak or input slower than 1 second.
set -euo pipefail
binary=$1
seconds=${2:-120}
work=${3:-$(mktemp -d)}
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$work/corpus" "$work/artifacts"
# Seeds: the fixtures cut to their first 64 KiB (the analysers look at the
# heads of files; smaller inputs make more runs).
for f in "$here"/../tests/fixtures/files/*; do
  [ -f "$f" ] && head -c 65536 "$f" > "$work/corpus/$(basename "$f")"
done
cp -r "$here"/corpus/. "$work/corpus/" 2>/dev/null || true
"$binary" "$work/corpus" -max_total_time="$seconds" -timeout=1 -rss_limit_mb=2048 -max_len=65536 \
  -artifact_prefix="$work/artifacts/" -print_final_stats=1 2>&1 | tail -n 25
status=${PIPESTATUS[0]}
if [ "$status" -ne 0 ] || ls "$work"/artifacts/* >/dev/null 2>&1; then
  echo "fuzzing found a problem; inputs kept in $work/artifacts" >&2
  exit 1
fi
echo "fuzzing: no crash, leak, sanitizer report or slow input in ${seconds}s"
