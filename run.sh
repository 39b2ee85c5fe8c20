#!/usr/bin/env bash
# Builds Vesko and runs the vesko tool on the given files and folders, or
# on the bundled sample files when none are given.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cmake -S "$here" -B "$here/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$here/build" >/dev/null
if [ $# -eq 0 ]; then
  set -- "$here/tests/fixtures/files"
fi
exec "$here/build/cli/vesko" "$@"
