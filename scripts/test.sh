#!/usr/bin/env bash
# Sets up what is missing, builds Halvorn with its tests and runs every test.
#
#   scripts/test.sh              build/ (or $HALVORN_BUILD_DIR), the normal build; where clang
#                                and libFuzzer are installed, each fuzz target also runs
#                                $HALVORN_FUZZ_RUNS (20000) new inputs first
#   scripts/test.sh --sanitize   build-sanitize/ (or $HALVORN_SANITIZE_BUILD_DIR), built with
#                                AddressSanitizer and UndefinedBehaviorSanitizer; any report
#                                (memory error, leak, undefined behaviour) fails its test
set -euo pipefail
cd "$(dirname "$0")/.."

sanitize=0
for arg in "$@"; do
  case "$arg" in
    --sanitize) sanitize=1 ;;
    -h | --help)
      sed -n '2,9s/^# \{0,1\}//p' "$0"
      exit 0
      ;;
    *)
      echo "scripts/test.sh: unknown option $arg (try --help)" >&2
      exit 2
      ;;
  esac
done

bash scripts/setup.sh

if [ "$sanitize" -eq 0 ]; then
  build=${HALVORN_BUILD_DIR:-build}
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --build "$build"
  # With clang and libFuzzer at hand, every fuzz target also runs a bounded number of new
  # inputs, so a target that fails at once fails the run (ctest replays the corpora anyway).
  if command -v clang++-14 >/dev/null &&
    ls /usr/lib/llvm-14/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1; then
    bash scripts/fuzz.sh --runs "${HALVORN_FUZZ_RUNS:-20000}"
  fi
  cd "$build"
  ctest --output-on-failure -j "$(nproc)" --timeout 300
  exit 0
fi

# The sanitized build: its own folder, the benchmarks left out (ctest does not run them).
build=${HALVORN_SANITIZE_BUILD_DIR:-build-sanitize}
sanitizers="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DHALVORN_BUILD_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="$sanitizers" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
  -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=address,undefined"
cmake --build "$build"

# Every report (leaks included, checked when each program ends) fails its test.
export ASAN_OPTIONS="detect_leaks=1:halt_on_error=1:abort_on_error=0:strict_string_checks=1:check_initialization_order=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export QT_QPA_PLATFORM=offscreen
cd "$build"
# Sanitized programs are slower: more time for each.
ctest --output-on-failure -j "$(nproc)" --timeout 900
