#!/usr/bin/env bash
# Every test: unit and command-line tests, the same under AddressSanitizer
# and UndefinedBehaviorSanitizer, and a bounded fuzzing run.
#   VESKO_FUZZ_SECONDS  length of the fuzzing run (default 120)
set -euo pipefail
cd "$(dirname "$0")"
jobs=$(nproc)
summary=()

run_ctest() {
  local dir=$1 log
  log=$(mktemp)
  set +e
  ctest --test-dir "$dir" --output-on-failure -j"$jobs" 2>&1 | tee "$log"
  local status=${PIPESTATUS[0]}
  set -e
  summary+=("$(grep -E 'tests passed, [0-9]+ tests failed out of' "$log" | tail -1) ($dir)")
  rm -f "$log"
  return "$status"
}

echo "== build and test"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build
run_ctest build

echo "== sanitizers (address, undefined behaviour)"
cmake -S . -B build-asan -G Ninja -DVESKO_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
cmake --build build-asan
run_ctest build-asan

echo "== fuzzing"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DVESKO_FUZZ=ON -DVESKO_BUILD_TESTS=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build-fuzz --target fuzz_vesko
fuzz/run.sh build-fuzz/fuzz/fuzz_vesko "${VESKO_FUZZ_SECONDS:-120}"

echo "== summary"
printf '%s\n' "${summary[@]}"
passed=0; failed=0
for line in "${summary[@]}"; do
  total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
  bad=$(sed -E 's/.*tests passed, ([0-9]+) tests failed.*/\1/' <<<"$line")
  passed=$((passed + total - bad)); failed=$((failed + bad))
done
echo "fuzz: 1 passed, 0 failed"
echo "$((passed + 1)) passed, $failed failed"
