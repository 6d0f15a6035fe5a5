#!/usr/bin/env bash
# Builds one fuzz target with clang and libFuzzer (AddressSanitizer and
# UndefinedBehaviorSanitizer on) in its own build folder and runs it for a while on a
# copy of its committed corpus.
#   scripts/fuzz.sh NAME SECONDS     NAME: client_reply, server_request, config, text
# New inputs go to build-fuzz-clang/corpus/NAME; a failing input is kept there as crash-*.
# Copy an input worth keeping into fuzz/corpus/NAME.
set -euo pipefail
cd "$(dirname "$0")/.."

targets="client_reply server_request config text"
if [[ $# -ne 2 || ! " $targets " =~ " $1 " || ! "$2" =~ ^[0-9]+$ ]]; then
  echo "usage: $0 NAME SECONDS   (NAME: ${targets// /, })" >&2
  exit 2
fi
name=$1
seconds=$2

# The fuzzing toolchain is needed only here, so it is installed here and not by setup.sh.
fuzzer_runtime=$(ls /usr/lib/llvm-14/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a 2>/dev/null || true)
if ! command -v clang++-14 >/dev/null || [[ -z "$fuzzer_runtime" ]]; then
  sudo=""
  [[ $(id -u) -ne 0 ]] && sudo=sudo
  $sudo apt-get install -y --no-install-recommends clang-14 libclang-rt-14-dev
fi

build=${HALVORN_FUZZ_BUILD_DIR:-build-fuzz-clang}
sanitizers="address,undefined"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++-14 -DHALVORN_FUZZ=ON \
  -DHALVORN_BUILD_TESTS=OFF -DHALVORN_BUILD_BENCH=OFF \
  "-DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link,$sanitizers -fno-sanitize-recover=undefined" \
  "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=$sanitizers"
cmake --build "$build" --target "halvorn_fuzz_$name"

corpus="$build/corpus/$name"
mkdir -p "$corpus"
cp -n fuzz/corpus/"$name"/* "$corpus"/ 2>/dev/null || true
cd "$build"
# Leaks of process-wide objects at exit are not findings; every run starts afresh anyway.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}
exec "./fuzz/halvorn_fuzz_$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
  -artifact_prefix="corpus/$name/crash-" "corpus/$name"
