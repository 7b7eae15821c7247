#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it under Wine: scripts/run.sh [file]
# Runs the 32-bit program, or the 64-bit build on a host that cannot run 32-bit programs.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
. "$ROOT/scripts/host.sh"
. "$ROOT/scripts/build.sh"

sf_pick_arch
echo "running $SF_ARCH_REASON"
bash "$ROOT/scripts/setup.sh"
sf_check_wine

BUILD_DIR="${BUILD_DIR:-$(sf_build_dir_for "$SF_ARCH")}"
sf_build "$SF_ARCH" "$BUILD_DIR" OFF Sheetfold

. "$ROOT/scripts/wine-env.sh"
trap 'stop_display' EXIT
start_display
prepare_prefix

args=()
if [ $# -gt 0 ]; then
  args+=("$(winepath -w "$(realpath -m "$1")" 2>/dev/null)")
fi
wine "$BUILD_DIR/Sheetfold.exe" "${args[@]}"
