#!/usr/bin/env bash
# Installs what is missing, builds everything, and runs every test under Wine with its own X display.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_DIR="${BUILD_DIR:-$ROOT/build}"

bash "$ROOT/scripts/setup.sh"

werror=OFF
[ -n "${CI:-}" ] && werror=ON
cmake -S "$ROOT" -B "$BUILD_DIR" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DSHEETFOLD_WERROR=$werror >/dev/null
cmake --build "$BUILD_DIR" --parallel "$(nproc)"

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
