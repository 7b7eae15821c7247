#!/usr/bin/env bash
# Installs what is missing, builds both Windows builds, and runs every test of the one this host
# can run (see host.sh) under Wine with its own X display; the other is compiled only.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
. "$ROOT/scripts/host.sh"
. "$ROOT/scripts/build.sh"

sf_pick_arch
echo "testing $SF_ARCH_REASON"
echo "compiling only $SF_OTHER_REASON"
bash "$ROOT/scripts/setup.sh"
sf_check_wine

werror=OFF
[ -n "${CI:-}" ] && werror=ON
BUILD_DIR="${BUILD_DIR:-$(sf_build_dir_for "$SF_ARCH")}"
OTHER_DIR="$(sf_build_dir_for "$SF_OTHER_ARCH")"
sf_build "$SF_ARCH" "$BUILD_DIR" "$werror"

# The other build compiles while the tests run, which mostly wait on Wine and the window server; at
# the lowest priority it takes no time the tests need. The program's own windows are driven by
# real input only once it is done: under load Wine has stacked a just-shown floating panel under
# the main window, where the clicks meant for it missed.
mkdir -p "$OTHER_DIR"
other_log="$OTHER_DIR/build.log"
(nice -n 19 bash -c ". '$ROOT/scripts/build.sh'; ROOT='$ROOT' sf_build $SF_OTHER_ARCH '$OTHER_DIR' $werror" \
  >"$other_log" 2>&1) &
other_pid=$!

. "$ROOT/scripts/wine-env.sh"
trap 'kill $other_pid 2>/dev/null || true; stop_cups; stop_display; wineserver -k >/dev/null 2>&1 || true' EXIT
start_display --own
prepare_prefix
start_cups
# With the test CUPS server up, printer tests must find its PDF printer instead of skipping.
[ -n "${CUPS_SERVER:-}" ] && export SF_REQUIRE_PRINTER=1
start_wine_services

set +e
(cd "$BUILD_DIR" && ctest --output-on-failure -j "$(nproc)" -LE e2e "$@")
status=$?
wait $other_pid
other_status=$?
(cd "$BUILD_DIR" && ctest --output-on-failure -L e2e "$@")
e2e_status=$?
[ $status -eq 0 ] && status=$e2e_status
set -e

echo "compile of the $SF_OTHER_ARCH build ($OTHER_DIR, warnings as errors: $werror):"
if [ $other_status -eq 0 ]; then
  tail -n 1 "$other_log"
  echo "built $(cd "$OTHER_DIR" && ls Sheetfold.exe tests/*.exe bench/*.exe 2>/dev/null | wc -l) programs:" \
    "$(cd "$OTHER_DIR" && ls Sheetfold.exe tests/*.exe bench/*.exe 2>/dev/null | xargs -n1 basename | tr '\n' ' ')"
else
  cat "$other_log"
  echo "error: the $SF_OTHER_ARCH build failed to compile" >&2
  [ $status -eq 0 ] && status=1
fi
exit $status
