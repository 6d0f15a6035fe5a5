#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer (AddressSanitizer and
# UndefinedBehaviorSanitizer on) in their own build folder and runs them on a copy of their
# committed corpus.
#   scripts/fuzz.sh NAME SECONDS   run one target for a while (NAME: client_reply,
#                                  server_request, config, text); new inputs go to
#                                  build-fuzz-clang/corpus/NAME, a failing one is kept there
#                                  as crash-*. Copy an input worth keeping into
#                                  fuzz/corpus/NAME.
#   scripts/fuzz.sh --runs N       run every target for N inputs from a fixed seed and stop
#                                  at the first failure (what scripts/test.sh does when clang
#                                  is present); exits non-zero when a target fails.
set -euo pipefail
cd "$(dirname "$0")/.."

targets="client_reply server_request config text"
usage() {
  echo "usage: $0 NAME SECONDS   (NAME: ${targets// /, })" >&2
  echo "       $0 --runs N" >&2
  exit 2
}
if [[ $# -ne 2 ]]; then
  usage
fi
if [[ "$1" == "--runs" ]]; then
  [[ "$2" =~ ^[0-9]+$ ]] || usage
  names=$targets
  runs=$2
else
  [[ " $targets " =~ " $1 " && "$2" =~ ^[0-9]+$ ]] || usage
  names=$1
  seconds=$2
fi

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
  "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=$sanitizers" >/dev/null
programs=()
for name in $names; do
  programs+=("halvorn_fuzz_$name")
done
cmake --build "$build" --target "${programs[@]}"

cd "$build"
# Leaks of process-wide objects at exit are not findings; every run starts afresh anyway.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}
if [[ -n "${seconds:-}" ]]; then
  corpus="corpus/$names"
  mkdir -p "$corpus"
  cp -n ../fuzz/corpus/"$names"/* "$corpus"/ 2>/dev/null || true
  exec "./fuzz/halvorn_fuzz_$names" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$corpus/crash-" "$corpus"
fi

# A bounded run of each target: a fresh copy of its corpus, a fixed seed, N inputs (and at
# most two minutes, whatever N is).
for name in $names; do
  corpus="runs/$name"
  rm -rf "$corpus"
  mkdir -p "$corpus"
  cp ../fuzz/corpus/"$name"/* "$corpus"/ 2>/dev/null || true
  echo "fuzz $name: $runs inputs"
  if ! "./fuzz/halvorn_fuzz_$name" -runs="$runs" -seed=1 -max_total_time=120 -timeout=10 \
    -rss_limit_mb=2048 -artifact_prefix="$corpus/crash-" -print_final_stats=0 \
    "$corpus" >"$corpus.log" 2>&1; then
    tail -n 40 "$corpus.log" >&2
    echo "fuzz $name failed; the input is in $build/$corpus/crash-*" >&2
    exit 1
  fi
done
echo "fuzz: every target ran $runs inputs without a finding"
