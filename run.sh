#!/usr/bin/env bash
# ZARN developer entry point.
#   ./run.sh demo     build, render a 10-second demo through the limiter, print the report
#   ./run.sh test     build and run every test (CTest), the ThreadSanitizer build of the threaded
#                     tests and the AddressSanitizer + UBSan build of the suite
#   ./run.sh bench    build and run the benchmarks
#   ./run.sh build    build only
#   ./run.sh install  build and copy the VST3 bundle ZARN.vst3 to ~/.vst3/
#   ./run.sh windows  cross-build the Windows bundle into build-win/ (MinGW-w64)
set -euo pipefail
cd "$(dirname "$0")"

BUILD_DIR=${BUILD_DIR:-build}
JOBS=$(nproc 2>/dev/null || echo 2)

# Debian packages the build, tests and benchmarks need.
PACKAGES=(cmake g++ make pkg-config libsndfile1-dev nlohmann-json3-dev
          libgtest-dev libgmock-dev libbenchmark-dev libebur128-dev libasound2-dev
          libx11-dev libxtst-dev zlib1g-dev xvfb
          libsoxr-dev libavcodec-dev libavutil-dev locales)

# The Windows cross build; Wine runs its moduleinfo writer and its test host.
WINDOWS_PACKAGES=(cmake make pkg-config nlohmann-json3-dev libgtest-dev g++-mingw-w64-x86-64-posix
                  wine64)

install_missing() {
  local missing=()
  for p in "$@"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}" >&2
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# A host may run with a decimal comma; the tests check that nothing the plug-in writes changes.
ensure_german_locale() {
  locale -a 2>/dev/null | grep -qix 'de_DE.utf-\?8' && return 0
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo sed -i 's/^# *\(de_DE.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
  $sudo locale-gen >/dev/null
}

# Runs CTest in $1 with the rest as its arguments. In CI a skipped test fails the run: a test that
# skips for want of a package or locale has not run. Only tests that need other hardware than
# this machine's, or another run's settings, may skip (their names match $ALLOWED_SKIPS).
ALLOWED_SKIPS='^(CpuForms\.|TruePeakKernel\.(VectorFormsAddInTheOneChainOrder|EveryVectorFormOfTheWideReadingGivesTheSamePeak))'
run_ctest() {
  local dir=$1; shift
  local log
  log=$(mktemp)
  (cd "$dir" && ctest "$@") | tee "$log"
  local skipped
  skipped=$(sed -n 's/^[[:space:]]*[0-9]* - \([^ ]*\) (Skipped)$/\1/p' "$log" | grep -Ev "$ALLOWED_SKIPS" || true)
  rm -f "$log"
  if [ -n "$skipped" ] && [ "${CI:-}" = true ]; then
    echo "FAILED: skipped tests count as failures in CI:" >&2
    echo "$skipped" >&2
    return 1
  fi
}

configure_and_build() {
  local dir=$1; shift
  cmake -S . -B "$dir" "$@" >/dev/null
  cmake --build "$dir" -j "$JOBS"
}

cmd_build() {
  install_missing "${PACKAGES[@]}"
  configure_and_build "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release
}

cmd_demo() {
  cmd_build >/dev/null
  "$BUILD_DIR/zarn" generate demo "$BUILD_DIR/demo-in.wav"
  "$BUILD_DIR/zarn" render "$BUILD_DIR/demo-in.wav" "$BUILD_DIR/demo-out.wav" \
    --set "Drive L=9" --set "Drive R=9"
  echo "Wrote $BUILD_DIR/demo-out.wav"
}

cmd_test() {
  # clang for the fuzzers, chromium for the web view's tests in a real browser.
  install_missing "${PACKAGES[@]}" clang libclang-rt-14-dev chromium
  ensure_german_locale
  configure_and_build "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release
  run_ctest "$BUILD_DIR" --output-on-failure -j "$JOBS"
  # The editor page's logic, under Node's own test runner.
  if command -v node >/dev/null 2>&1; then
    node --test tests/page/
  fi
  # The tests that cross threads, again under ThreadSanitizer.
  configure_and_build build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZARN_BUILD_BENCH=OFF \
    -DZARN_BUILD_APP=OFF "-DCMAKE_CXX_FLAGS=-fsanitize=thread -g"
  TSAN_OPTIONS="halt_on_error=1" run_ctest build-tsan --output-on-failure -j "$JOBS" -R 'Threads\.'
  run_sanitized_tests
  run_fuzzers
  run_windows_tests
}

cmd_windows() {
  install_missing "${WINDOWS_PACKAGES[@]}"
  # The toolchain file counts only when build-win/ is first configured.
  configure_and_build build-win --no-warn-unused-cli \
    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release
  echo "Built build-win/ZARN.vst3"
}

# The Windows module under Wine, through the same test host as the Linux one; its rendering of a
# fixed signal must match the one the Linux module in $BUILD_DIR writes first. Its editor runs
# against a fake WebView2 loader (tests/wine/).
run_windows_tests() {
  cmd_windows >/dev/null
  ZARN_RENDER_WRITE="$PWD/build-win/linux-rendering.bin" \
    "$BUILD_DIR/tests/zarn_tests" --gtest_filter='Vst3Portable.*' --gtest_brief=1
  run_ctest build-win --output-on-failure
}

# The whole suite again under AddressSanitizer (leaks included) and UndefinedBehaviorSanitizer
# (with float-to-integer overflow, which -fsanitize=undefined leaves out), every report fatal.
# The app stays in: its tests and the zarn binary they run are part of the suite. The tests that
# drive a real Chromium stay in the Release run: the browser is not instrumented, and they wait on
# it in real time.
run_sanitized_tests() {
  local checks=address,undefined,float-cast-overflow
  configure_and_build build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZARN_BUILD_BENCH=OFF \
    "-DCMAKE_CXX_FLAGS=-fsanitize=$checks -fno-sanitize-recover=undefined,float-cast-overflow -fno-omit-frame-pointer"
  # Kept to the AVX2 forms: on a machine with AVX-512 the Release run above took those forms.
  ZARN_TEST_CPU=avx2 ASAN_OPTIONS="detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1" \
    UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
    run_ctest build-asan --output-on-failure -j "$JOBS" \
      -E '^(ChromiumPlugin|ChromiumWebViewTest|PageEndToEnd)\.|^AudioSink\.EditorPlays|^X11Host$'
}

# Every parser under libFuzzer with AddressSanitizer, for a bounded number of inputs.
run_fuzzers() {
  CC=clang CXX=clang++ configure_and_build build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DZARN_BUILD_FUZZERS=ON >/dev/null
  local corpus log
  for fuzzer in build-fuzz/tests/fuzz/fuzz_*; do
    corpus=$(mktemp -d)
    log=$(mktemp)
    echo "Fuzzing $(basename "$fuzzer")"
    if ! "$fuzzer" -runs="${FUZZ_RUNS:-200000}" -max_len=4096 -seed=1 "$corpus" >"$log" 2>&1; then
      cat "$log"
      echo "FAILED: $(basename "$fuzzer")" >&2
      return 1
    fi
    tail -n 1 "$log"
    rm -rf "$corpus" "$log"
  done
}

# The bundle replaces any earlier copy whole, so no file of an older version stays behind.
cmd_install() {
  cmd_build >/dev/null
  local target="$HOME/.vst3"
  mkdir -p "$target"
  rm -rf "$target/ZARN.vst3"
  cp -R "$BUILD_DIR/ZARN.vst3" "$target/"
  echo "Installed $target/ZARN.vst3"
}

cmd_bench() {
  cmd_build >/dev/null
  "$BUILD_DIR/bench/zarn_bench" "$@"
}

case "${1:-}" in
  demo)  cmd_demo ;;
  test)  cmd_test ;;
  bench) shift; cmd_bench "$@" ;;
  build) cmd_build ;;
  install) cmd_install ;;
  windows) cmd_windows ;;
  *) echo "usage: ./run.sh demo|test|bench|build|install|windows" >&2; exit 2 ;;
esac
