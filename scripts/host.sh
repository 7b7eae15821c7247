# Sourced by the scripts: which Windows build this host can run, and the Wine that runs it.
#
# Sheetfold is a 32-bit Windows program, and that build is the one used wherever the host can run
# 32-bit code. A kernel without IA-32 emulation cannot start any 32-bit Linux program, 32-bit Wine
# included, so there the 64-bit build is used under wine64. The choice rests on a probe (starting a
# tiny 32-bit program), not on the architecture's name, which says x86_64 either way.
#
# SF_HOST_RUNS_32BIT=1|0 replaces the probe's answer (for checking the scripts' decisions).

# Prints the 93-byte i386 ELF program that exits with status 0 (mov eax,1; xor ebx,ebx; int 0x80).
sf_write_probe_program() {
  printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'
  printf '\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00'
  printf '\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00'
  printf '\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08'
  printf '\x00\x80\x04\x08\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00'
  printf '\x00\x10\x00\x00\xb8\x01\x00\x00\x00\x31\xdb\xcd\x80'
}

# Succeeds when this host starts 32-bit x86 programs.
sf_host_runs_32bit() {
  case "${SF_HOST_RUNS_32BIT:-}" in
    1) return 0 ;;
    0) return 1 ;;
  esac
  local probe
  probe="$(mktemp "${TMPDIR:-/tmp}/sf-probe32.XXXXXX")" || return 1
  sf_write_probe_program >"$probe"
  chmod +x "$probe"
  local ok=1
  "$probe" >/dev/null 2>&1 && ok=0
  rm -f "$probe"
  return $ok
}

# Sets SF_ARCH (the build this host runs and tests), SF_OTHER_ARCH (the build only compiled: both
# are compiled on every host, since the one that cannot run is the one that breaks unseen), and
# SF_ARCH_REASON and SF_OTHER_REASON, which the scripts print, from the probe.
sf_pick_arch() {
  if sf_host_runs_32bit; then
    SF_ARCH=i686
    SF_OTHER_ARCH=x86_64
    SF_ARCH_REASON="the 32-bit build (the product)"
    SF_OTHER_REASON="the 64-bit build"
  else
    SF_ARCH=x86_64
    SF_OTHER_ARCH=i686
    SF_ARCH_REASON="the 64-bit build: this host cannot run 32-bit programs"
    SF_OTHER_REASON="the 32-bit build (the product): this host cannot run it"
  fi
  export SF_ARCH SF_OTHER_ARCH
}

# The Wine loader that runs SF_ARCH programs: the 32-bit loader, or wine64. Debian's wine wrapper
# would pick the 32-bit loader whenever it is installed, even where it cannot run, so the scripts
# name the loader themselves.
sf_wine_loader_path() {
  case "$SF_ARCH" in
    i686) echo "${SF_WINE32_LOADER:-/usr/lib/wine/wine}" ;;
    x86_64) echo "${SF_WINE64_LOADER:-/usr/lib/wine/wine64}" ;;
  esac
}

# Says what is missing when no Wine can run SF_ARCH programs here; succeeds when one can.
sf_check_wine() {
  local loader
  loader="$(sf_wine_loader_path)"
  if [ ! -x "$loader" ]; then
    case "$SF_ARCH" in
      i686) echo "error: no 32-bit Wine at $loader: install wine32:i386 (the i386 architecture enabled)" >&2 ;;
      x86_64) echo "error: no 64-bit Wine at $loader: this host cannot run 32-bit programs, so it needs wine64" >&2 ;;
    esac
    return 1
  fi
  if ! "$loader" --version >/dev/null 2>&1; then
    echo "error: Wine at $loader does not start on this host; it cannot run $SF_ARCH Windows programs" >&2
    return 1
  fi
}

# Puts a 'wine' (and the 'wine-stable' that Wine's own tools call) first on PATH that always
# starts the chosen loader. Needs BUILD_DIR.
sf_install_wine_shim() {
  local dir="$BUILD_DIR/winebin" loader
  loader="$(sf_wine_loader_path)"
  mkdir -p "$dir"
  local name
  for name in wine wine-stable; do
    printf '#!/bin/sh\nexport WINELOADER=%s\nexec %s "$@"\n' "$loader" "$loader" >"$dir/$name"
    chmod +x "$dir/$name"
  done
  export PATH="$dir:$PATH"
  export WINELOADER="$loader"
}

# The default build folder of an architecture: build/ for the one this host runs, build-<arch>/ for
# the one only compiled beside it.
sf_build_dir_for() {
  if [ "$1" = "$SF_ARCH" ]; then
    echo "$ROOT/build"
  else
    echo "$ROOT/build-$1"
  fi
}
