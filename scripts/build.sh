# Sourced by the scripts: configures and builds one architecture's tree. Needs ROOT.

# sf_build ARCH DIR WERROR [TARGET]: configures DIR for ARCH (starting afresh when DIR was made for
# another architecture) and builds TARGET, or everything.
sf_build() {
  local arch="$1" dir="$2" werror="$3" target="${4:-}"
  local toolchain="$ROOT/cmake/mingw-$arch.cmake"
  if [ -f "$dir/CMakeCache.txt" ] && ! grep -qx "CMAKE_TOOLCHAIN_FILE:[A-Z]*=$toolchain" "$dir/CMakeCache.txt"; then
    echo "build: $dir was configured for another architecture; starting it afresh"
    rm -rf "$dir"
  fi
  cmake -S "$ROOT" -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DSHEETFOLD_WERROR="$werror" >/dev/null
  if [ -n "$target" ]; then
    cmake --build "$dir" --parallel "$(nproc)" --target "$target"
  else
    cmake --build "$dir" --parallel "$(nproc)"
  fi
}
