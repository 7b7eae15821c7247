#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it under Wine: scripts/run.sh [file]
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_DIR="${BUILD_DIR:-$ROOT/build}"

bash "$ROOT/scripts/setup.sh"
cmake -S "$ROOT" -B "$BUILD_DIR" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686.cmake" \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$BUILD_DIR" --parallel "$(nproc)" --target Sheetfold

. "$ROOT/scripts/wine-env.sh"
trap 'stop_display' EXIT
start_display
prepare_prefix

args=()
if [ $# -gt 0 ]; then
  args+=("$(winepath -w "$(realpath -m "$1")" 2>/dev/null)")
fi
wine "$BUILD_DIR/Sheetfold.exe" "${args[@]}"
