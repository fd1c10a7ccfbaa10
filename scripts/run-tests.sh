#!/usr/bin/env bash
# Builds everything and runs every test: the plain build with warnings as errors, then the
# AddressSanitizer + UndefinedBehaviorSanitizer build, then the ThreadSanitizer build of the
# library and simulator tests. Every module exchange takes 400 ms, so the tests run in
# parallel; each test process has its own port directory and range file.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh --tests

jobs=$(nproc)
test_jobs=${TESSARO_TEST_JOBS:-8}

run_build() {
    local dir=$1
    shift
    echo "=== $dir: configure and build"
    mkdir -p "$dir"
    cmake -S . -B "$dir" -G Ninja -DTESSARO_WERROR=ON "$@" > "$dir/configure.log" 2>&1 \
        || { cat "$dir/configure.log"; exit 1; }
    cmake --build "$dir" -j "$jobs"
    echo "=== $dir: tests"
    (cd "$dir" && ctest -j "$test_jobs" --output-on-failure --timeout 600)
}

run_build build
ASAN_OPTIONS=detect_leaks=1 \
    run_build build-asan -DTESSARO_SANITIZE=address,undefined -DCMAKE_BUILD_TYPE=Debug
TSAN_OPTIONS=halt_on_error=1 \
    run_build build-tsan -DTESSARO_SANITIZE=thread -DTESSARO_BUILD_TOOL=OFF -DCMAKE_BUILD_TYPE=Debug

# The fuzzers need clang's libFuzzer: a short run of each on every test run.
echo "=== build-fuzz: reply text and range query fuzzers"
mkdir -p build-fuzz
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DTESSARO_BUILD_TOOL=OFF > build-fuzz/configure.log 2>&1 \
    || { cat build-fuzz/configure.log; exit 1; }
cmake --build build-fuzz -j "$jobs" --target reply_text_fuzz range_query_fuzz
for fuzzer in reply_text_fuzz range_query_fuzz; do
    mkdir -p "build-fuzz/corpus/$fuzzer"
    dict=()
    [ -f "tests/fuzz/${fuzzer%_fuzz}.dict" ] && dict=(-dict="tests/fuzz/${fuzzer%_fuzz}.dict")
    "build-fuzz/tests/fuzz/$fuzzer" "${dict[@]}" -max_total_time="${TESSARO_FUZZ_SECONDS:-30}" \
        -print_final_stats=1 "build-fuzz/corpus/$fuzzer" 2>&1 | tail -n 3
done

echo "=== all tests passed"
