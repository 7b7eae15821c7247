#!/usr/bin/env bash
# Checks the scripts' choice of build and Wine: the probe's answer decides the architecture, the
# probe program is a well-formed i386 program, and a Wine that is missing or cannot start is named.
set -uo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
. "$ROOT/scripts/host.sh"

failures=0
check() { # description, expected, actual
  if [ "$2" != "$3" ]; then
    printf 'FAIL: %s: expected [%s], got [%s]\n' "$1" "$2" "$3"
    failures=$((failures + 1))
  fi
}

# The probe's answer decides the build, whatever the architecture's name.
for answer in 1 0; do
  SF_HOST_RUNS_32BIT=$answer sf_pick_arch
  case $answer in
    1) check "a host that runs 32-bit programs" "i686|x86_64" "$SF_ARCH|$SF_OTHER_ARCH"
       check "its reasons" "the 32-bit build (the product)|the 64-bit build" \
         "$SF_ARCH_REASON|$SF_OTHER_REASON" ;;
    0) check "a host that cannot still compiles the product" "x86_64|i686" "$SF_ARCH|$SF_OTHER_ARCH"
       check "its reasons" "the 64-bit build: this host cannot run 32-bit programs|the 32-bit build (the product): this host cannot run it" \
         "$SF_ARCH_REASON|$SF_OTHER_REASON" ;;
  esac
done

# The probe program: an ELF32 i386 executable whose one instruction run is exit(0).
probe="$(mktemp)"
sf_write_probe_program >"$probe"
check "probe size" 93 "$(wc -c <"$probe" | tr -d ' ')"
check "probe header" "7f454c46010101" "$(head -c 7 "$probe" | od -An -tx1 | tr -d ' \n')"
check "probe machine (i386)" "0300" "$(dd if="$probe" bs=1 skip=18 count=2 2>/dev/null | od -An -tx1 | tr -d ' \n')"
check "probe code" "b80100000031dbcd80" "$(dd if="$probe" bs=1 skip=84 2>/dev/null | od -An -tx1 | tr -d ' \n')"
# Where this host answers, the probe agrees with the system's own 32-bit loader when there is one.
if [ -x /lib/ld-linux.so.2 ]; then
  chmod +x "$probe"
  "$probe" >/dev/null 2>&1; probe_ran=$?
  /lib/ld-linux.so.2 --version >/dev/null 2>&1; loader_ran=$?
  check "probe agrees with ld-linux.so.2" "$([ $loader_ran -eq 0 ] && echo yes || echo no)" \
    "$([ $probe_ran -eq 0 ] && echo yes || echo no)"
fi
rm -f "$probe"

# A missing Wine, and one that cannot start, stop the scripts with a message that says which.
tmp="$(mktemp -d)"
SF_ARCH=x86_64 SF_WINE64_LOADER="$tmp/none" sf_check_wine 2>"$tmp/err"; status=$?
check "missing wine64 fails" 1 "$status"
check "missing wine64 says so" "error: no 64-bit Wine at $tmp/none: this host cannot run 32-bit programs, so it needs wine64" "$(cat "$tmp/err")"
SF_ARCH=i686 SF_WINE32_LOADER="$tmp/none" sf_check_wine 2>"$tmp/err"; status=$?
check "missing wine32 fails" 1 "$status"
check "missing wine32 says so" "error: no 32-bit Wine at $tmp/none: install wine32:i386 (the i386 architecture enabled)" "$(cat "$tmp/err")"
printf '#!/bin/sh\nexit 126\n' >"$tmp/broken"; chmod +x "$tmp/broken"
SF_ARCH=i686 SF_WINE32_LOADER="$tmp/broken" sf_check_wine 2>"$tmp/err"; status=$?
check "a loader that cannot start fails" 1 "$status"
check "and says so" "error: Wine at $tmp/broken does not start on this host; it cannot run i686 Windows programs" "$(cat "$tmp/err")"

# The shim starts the chosen loader, whatever else is called 'wine'.
printf '#!/bin/sh\necho "chosen $*"\n' >"$tmp/chosen"; chmod +x "$tmp/chosen"
(SF_ARCH=x86_64 SF_WINE64_LOADER="$tmp/chosen" BUILD_DIR="$tmp" sf_install_wine_shim && wine a b) >"$tmp/out" 2>&1
check "the shim runs the chosen loader" "chosen a b" "$(cat "$tmp/out")"
rm -rf "$tmp"

[ $failures -eq 0 ] && echo "host checks passed"
exit $((failures > 0))
