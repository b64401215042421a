#!/usr/bin/env bash
# Builds the libFuzzer targets in fuzz/ with clang (ASan + UBSan) and runs each for a bounded
# time from its seed corpus in fuzz/corpus/<target>/. Fails on any crash or broken invariant.
#   scripts/fuzz.sh                        every target, 20 s each
#   PX8107_FUZZ_SECONDS=600 scripts/fuzz.sh fuzz_reply
# New inputs go to $PX8107_FUZZ_DIR/work/<target>; crashes to $PX8107_FUZZ_DIR/crashes/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${PX8107_FUZZ_DIR:-$root/build-fuzz}
seconds=${PX8107_FUZZ_SECONDS:-20}
seed=${PX8107_FUZZ_SEED:-1}

bash "$root/scripts/install-deps.sh" clang libclang-rt-14-dev

targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(fuzz_reply fuzz_typed_input fuzz_device_number fuzz_replyverifier)

cmake -S "$root/fuzz" -B "$build" -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
mkdir -p "$build/crashes"
status=0
for target in "${targets[@]}"; do
  work="$build/work/$target"
  mkdir -p "$work"
  log="$build/$target.log"
  echo "== $target: ${seconds}s, seed $seed"
  if "$build/$target" -seed="$seed" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
       -print_final_stats=1 -artifact_prefix="$build/crashes/$target-" \
       "$work" "$root/fuzz/corpus/$target" >"$log" 2>&1; then
    done_line=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -1 || true)
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "   ok: $runs executions; ${done_line:-no DONE line}"
  else
    status=1
    echo "   FAILED, log: $log"
    tail -40 "$log"
  fi
done
exit $status
