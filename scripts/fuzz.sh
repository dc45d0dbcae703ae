#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs each for the given number of seconds
# (default 20), one after the other, starting from its seed corpus.
#   scripts/fuzz.sh [seconds] [target ...]
# Findings (crash-*, leak-*, timeout-*) are written to <build>/findings/; new
# corpus entries go to <build>/corpus/<target>, never to the seeds. The build
# directory is build/sanitize, or $LUMO_FUZZ_BUILD.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-20}
shift || true
# The same configuration as the sanitizer stage of tests/run.sh, so that the
# two share one build directory.
build=${LUMO_FUZZ_BUILD:-build/sanitize}
cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DLUMO_BUILD_MODULE=OFF -DLUMO_BUILD_TESTS=ON \
  -DLUMO_BUILD_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1" \
  -DLUMO_SANITIZE=address,undefined >/dev/null
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for source in tests/fuzz/*_fuzz.cc; do
    name=$(basename "$source" .cc)
    targets+=("${name%_fuzz}")
  done
fi
cmake --build "$build" -j"$(nproc)" --target $(printf '%s_fuzz ' "${targets[@]}") >/dev/null

mkdir -p "$build/findings"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
for target in "${targets[@]}"; do
  corpus="$build/corpus/$target"
  mkdir -p "$corpus"
  # close_fd_mask=2: the loaders' and the parser's diagnostic lines go to
  # nowhere; libFuzzer and the sanitizers keep a copy of stderr for reports.
  if ! "$build/${target}_fuzz" "$corpus" "tests/fuzz/corpus/$target" -max_total_time="$seconds" \
      -max_len=65536 -timeout=10 -rss_limit_mb=2048 -close_fd_mask=2 -print_final_stats=1 \
      -artifact_prefix="$build/findings/${target}-" 2>"$build/$target.log"; then
    status=1
    echo "fuzz: $target FAILED (see $build/$target.log)"
    tail -n 40 "$build/$target.log"
  fi
  runs=$(grep -m1 'stat::number_of_executed_units' "$build/$target.log" | awk '{print $2}' || true)
  echo "fuzz: $target ${runs:-?} executions in ${seconds}s"
done
exit $status
