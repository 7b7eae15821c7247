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
  # Several trees of the same sources (worktrees, both architectures) share compiled objects
  # through ccache when it is installed.
  local launcher=()
  command -v ccache >/dev/null 2>&1 && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  # Paths inside the tree are hashed relative to the build folder, so that clones and worktrees in
  # other places hit the same cache entries.
  export CCACHE_BASEDIR="$ROOT"
  cmake -S "$ROOT" -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DSHEETFOLD_WERROR="$werror" "${launcher[@]}" >/dev/null
  if [ -n "$target" ]; then
    cmake --build "$dir" --parallel "$(nproc)" --target "$target"
  else
    cmake --build "$dir" --parallel "$(nproc)"
  fi
}
