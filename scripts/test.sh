#!/usr/bin/env bash
# Installs what is missing, builds everything, and runs every test under Wine with its own X display.
# Tests the build this host can run (see host.sh); on a host that runs both, the 64-bit build is
# compiled as well, without tests.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
. "$ROOT/scripts/host.sh"
. "$ROOT/scripts/build.sh"

sf_pick_arch
echo "testing $SF_ARCH_REASON"
bash "$ROOT/scripts/setup.sh"
sf_check_wine

werror=OFF
[ -n "${CI:-}" ] && werror=ON
BUILD_DIR="${BUILD_DIR:-$(sf_build_dir_for "$SF_ARCH")}"
sf_build "$SF_ARCH" "$BUILD_DIR" "$werror"
if [ -n "$SF_OTHER_ARCH" ]; then
  sf_build "$SF_OTHER_ARCH" "$(sf_build_dir_for "$SF_OTHER_ARCH")" "$werror"
fi

. "$ROOT/scripts/wine-env.sh"
trap 'stop_cups; stop_display; wineserver -k >/dev/null 2>&1 || true' EXIT
start_display --own
prepare_prefix
start_cups
# With the test CUPS server up, printer tests must find its PDF printer instead of skipping.
[ -n "${CUPS_SERVER:-}" ] && export SF_REQUIRE_PRINTER=1
start_wine_services

set +e
(cd "$BUILD_DIR" && ctest --output-on-failure -j "$(nproc)" "$@")
status=$?
exit $status
