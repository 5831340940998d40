#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: once as a normal
# build, the fuzzer for a minute, then once more under ASan and UBSan, and
# the documents stamped side by side under ThreadSanitizer.
# The fuzzers stop on any input that takes more than 10 s or 1 GB: loading is
# meant to cost time and memory in proportion to the input.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh
vx_install_deps

echo "== formatting"
find app cli pdf platform tests bench fuzz \( -name '*.cpp' -o -name '*.h' \) -print0 |
  xargs -0 clang-format --dry-run --Werror

echo "== build (warnings are errors)"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVX_BUILD_BENCH=ON
cmake --build build -j2
echo "== tests"
ctest --test-dir build --output-on-failure -j2

echo "== build with clang"
CXX=clang++ cmake -S . -B build-clang -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVX_BUILD_BENCH=ON
cmake --build build-clang -j2

echo "== fuzzing"
CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVX_BUILD_FUZZ=ON -DVX_BUILD_TESTS=OFF
cmake --build build-fuzz -j2 --target fuzz_parser fuzz_document fuzz_font fuzz_security fuzz_stamp fuzz_shaping fuzz_csv
for target in parser document font security stamp shaping csv; do
  seeds=fuzz/corpus
  [ -d "fuzz/corpus_$target" ] && seeds="fuzz/corpus_$target"
  [ "$target" = stamp ] && seeds=fuzz/corpus_document
  seconds="${VX_FUZZ_SECONDS:-120}"
  [ "$target" = font ] && seconds="${VX_FUZZ_FONT_SECONDS:-40}"
  [ "$target" = security ] && seconds="${VX_FUZZ_SECURITY_SECONDS:-60}"
  [ "$target" = stamp ] && seconds="${VX_FUZZ_STAMP_SECONDS:-60}"
  [ "$target" = shaping ] && seconds="${VX_FUZZ_SHAPING_SECONDS:-45}"
  [ "$target" = csv ] && seconds="${VX_FUZZ_CSV_SECONDS:-20}"
  mkdir -p "build-fuzz/corpus_$target"
  ./build-fuzz/fuzz/fuzz_$target -max_total_time="$seconds" -max_len=65536 \
    -timeout=10 -rss_limit_mb=1024 -malloc_limit_mb=1024 -seed=1 -print_final_stats=0 "build-fuzz/corpus_$target" "$seeds" 2>&1 | tail -n 2
done

echo "== tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVX_SANITIZE=ON
cmake --build build-asan -j2
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j2

echo "== documents stamped side by side under ThreadSanitizer"
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVX_TSAN=ON
cmake --build build-tsan -j2 --target vxthreadtests
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
  ctest --test-dir build-tsan --output-on-failure -R ConcurrentStamp
