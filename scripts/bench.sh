#!/usr/bin/env bash
# Builds what is missing and runs benchmarks of the build this host can run, in the tests' Wine
# prefix and on their own X display: scripts/bench.sh [name ...], for example `scripts/bench.sh drag
# popup`; with no name, every one. Each prints its figures beside a baseline measured in the same run.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
. "$ROOT/scripts/host.sh"
. "$ROOT/scripts/build.sh"

sf_pick_arch
echo "benchmarks of $SF_ARCH_REASON"
bash "$ROOT/scripts/setup.sh" >/dev/null
sf_check_wine

names=("$@")
if [ ${#names[@]} -eq 0 ]; then
  for src in "$ROOT"/bench/*.cpp; do
    names+=("$(basename "$src" .cpp)")
  done
fi
for name in "${names[@]}"; do
  [ -f "$ROOT/bench/$name.cpp" ] || { echo "error: no benchmark '$name' (bench/$name.cpp)" >&2; exit 2; }
done

BUILD_DIR="${BUILD_DIR:-$(sf_build_dir_for "$SF_ARCH")}"
targets=(Sheetfold)
for name in "${names[@]}"; do targets+=("bench_$name"); done
for target in "${targets[@]}"; do
  sf_build "$SF_ARCH" "$BUILD_DIR" OFF "$target" >/dev/null
done

. "$ROOT/scripts/wine-env.sh"
trap 'stop_display; wineserver -k >/dev/null 2>&1 || true' EXIT
start_display --own
prepare_prefix
start_wine_services

status=0
for name in "${names[@]}"; do
  echo "== bench_$name (load $(cut -d' ' -f1-3 /proc/loadavg))"
  (cd "$BUILD_DIR" && wine "bench/bench_$name.exe") || { echo "error: bench_$name failed" >&2; status=1; }
done
exit $status
