#!/usr/bin/env bash
# The test suite built with AddressSanitizer and UndefinedBehaviorSanitizer, then the core tests
# under Valgrind memcheck. Leaks inside Qt's platform plugin are suppressed by tests/lsan.supp;
# any other leak, memory error or undefined behaviour fails.
#   scripts/sanitize.sh
# Build directories: $PX8107_ASAN_DIR (default build-asan/), $PX8107_VALGRIND_DIR
# (default build-valgrind/).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
asan=${PX8107_ASAN_DIR:-$root/build-asan}
plain=${PX8107_VALGRIND_DIR:-$root/build-valgrind}

bash "$root/scripts/install-deps.sh" valgrind
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

echo "== AddressSanitizer + UndefinedBehaviorSanitizer build in $asan"
cmake -S "$root" -B "$asan" -DCMAKE_BUILD_TYPE=Debug -DPX8107_SANITIZE=ON "${launcher[@]}" >/dev/null
cmake --build "$asan" -j"$(nproc)"
(
  cd "$asan"
  # Qt is built without frame pointers: full unwinding lets the suppressions see Qt's frames.
  export ASAN_OPTIONS=detect_leaks=1:fast_unwind_on_malloc=0:strict_init_order=1:detect_stack_use_after_return=1
  export LSAN_OPTIONS=suppressions=$root/tests/lsan.supp:print_suppressions=0
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  QT_QPA_PLATFORM=offscreen ctest --output-on-failure
)

echo "== Valgrind memcheck of the core tests in $plain"
cmake -S "$root" -B "$plain" -DCMAKE_BUILD_TYPE=Debug "${launcher[@]}" >/dev/null
core_tests=(tst_codec tst_requests tst_decoders)
cmake --build "$plain" -j"$(nproc)" --target "${core_tests[@]}"
for t in "${core_tests[@]}"; do
  echo "-- $t"
  valgrind -q --error-exitcode=1 --leak-check=full --show-leak-kinds=definite,indirect \
    --errors-for-leak-kinds=definite,indirect "$plain/tests/$t" -silent
done
echo "sanitizers and memcheck clean"
