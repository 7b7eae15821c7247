#!/usr/bin/env bash
# Installs what building and testing Sheetfold needs on Debian, and only what is missing.
# Safe to run again: every step checks first.
set -euo pipefail

say() { printf 'setup: %s\n' "$*"; }
die() { printf 'setup: error: %s\n' "$*" >&2; exit 1; }

need_pkgs=(
  cmake ninja-build
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix mingw-w64-i686-dev binutils-mingw-w64-i686
  libz-mingw-w64-dev googletest
  wine wine32 xvfb xauth fonts-liberation
  cups printer-driver-cups-pdf poppler-utils
  # Wine is 32-bit here: it reaches CUPS through the i386 library.
  libcups2:i386
)

if ! command -v dpkg >/dev/null 2>&1; then
  die "this script needs a Debian system (dpkg not found)"
fi

missing=()
for p in "${need_pkgs[@]}"; do
  # wine32 is an i386 package; dpkg-query needs the architecture-qualified name for it.
  q=$p
  [ "$p" = wine32 ] && q=wine32:i386
  if ! dpkg-query -W -f='${Status}' "$q" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  say "all packages present"
  exit 0
fi

[ "$(id -u)" -eq 0 ] || die "missing packages (${missing[*]}) and not root: run as root or install them"

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  say "adding the i386 architecture (for wine32)"
  dpkg --add-architecture i386
fi

say "updating package lists"
apt-get update -qq || die "apt-get update failed"

say "installing: ${missing[*]}"
# wine32 must come from the i386 architecture.
pkgs=()
for p in "${missing[@]}"; do
  [ "$p" = wine32 ] && pkgs+=(wine32:i386) || pkgs+=("$p")
done
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${pkgs[@]}" \
  || die "apt-get install failed for: ${pkgs[*]}"
say "done"
