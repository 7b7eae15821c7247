#!/usr/bin/env bash
# Installs what building and testing Sheetfold needs on Debian, and only what is missing.
# Safe to run again: every step checks first. What Wine needs depends on whether this host can run
# 32-bit programs (see host.sh): the i386 packages only where they can run, wine64 otherwise.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
. "$ROOT/scripts/host.sh"

say() { printf 'setup: %s\n' "$*"; }
die() { printf 'setup: error: %s\n' "$*" >&2; exit 1; }

command -v dpkg >/dev/null 2>&1 || die "this script needs a Debian system (dpkg not found)"

sf_pick_arch

need_pkgs=(
  cmake ninja-build ccache
  # Both Windows builds are compiled on every host: the one the host runs is tested, and the other
  # compiled beside it, so that neither breaks unnoticed.
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-x86-64-dev binutils-mingw-w64-x86-64
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix mingw-w64-i686-dev binutils-mingw-w64-i686
  libz-mingw-w64-dev googletest
  # fonts-wine has Marlett, the symbol font of the system's caption buttons and glyphs.
  wine xvfb xauth fonts-liberation fonts-wine locales
  cups printer-driver-cups-pdf poppler-utils
)
if [ "$SF_ARCH" = i686 ]; then
  # 32-bit Wine reaches CUPS through the i386 client library.
  need_pkgs+=(wine32:i386 libcups2:i386)
else
  need_pkgs+=(wine64 libcups2)
fi

missing=()
for p in "${need_pkgs[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

# Wine takes a program's code page from its locale only when the system has that locale: the
# end-to-end cases run the program under a Russian one (code page 1251) too.
ensure_locales() {
  local locale
  for locale in ru_RU ja_JP; do
    locale -a 2>/dev/null | grep -qix "$locale.utf-\?8" && continue
    if [ "$(id -u)" -ne 0 ]; then
      say "warning: the locale $locale.UTF-8 is missing and not root: the cases under it will fail"
      continue
    fi
    say "generating the locale $locale.UTF-8"
    # Another build may be generating it at the same moment.
    flock /tmp/sheetfold-locales.lock localedef -i "$locale" -f UTF-8 "$locale.UTF-8" \
      || die "could not generate the locale $locale.UTF-8"
  done
}

if [ ${#missing[@]} -eq 0 ]; then
  say "all packages present"
  ensure_locales
  exit 0
fi

[ "$(id -u)" -eq 0 ] || die "missing packages (${missing[*]}) and not root: run as root or install them"

if [ "$SF_ARCH" = i686 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  say "adding the i386 architecture (for wine32)"
  dpkg --add-architecture i386
fi

say "updating package lists"
# A mirror caught mid-sync fails one index and leaves the others fresh: the install below then
# decides whether what is needed can be had.
if ! apt-get update -qq; then
  sleep 5
  apt-get update -qq || say "warning: apt-get update reported errors; trying the install anyway"
fi

install_missing() {
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$@" "${missing[@]}"
}
say "installing: ${missing[*]}"
if ! install_missing; then
  # When one architecture's security index could not be read, the two architectures' copies of a
  # shared library can only agree at the release's own versions: hold security updates back for
  # this one install.
  say "retrying with the release's own versions of shared libraries"
  pin="$(mktemp)"
  printf 'Package: *\nPin: release l=Debian-Security\nPin-Priority: 99\n' >"$pin"
  install_missing -o Dir::Etc::Preferences="$pin" || { rm -f "$pin"; die "apt-get install failed for: ${missing[*]}"; }
  rm -f "$pin"
fi
say "done"
ensure_locales
