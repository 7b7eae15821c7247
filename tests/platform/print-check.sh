#!/usr/bin/env bash
# Printing checks run by ctest in the environment scripts/test.sh sets up (Wine prefix, display,
# and CUPS_SERVER when its private CUPS server runs).
#   print-check.sh <platform_tests.exe> printing: the test program prints a portrait and a
#     landscape page on the PDF printer and reports what it drew where; this script finds the
#     PDF files cups-pdf wrote and checks each page's orientation and the colours at the
#     reported places. Skipped (77) without the CUPS server or poppler's tools.
#   print-check.sh <platform_tests.exe> noprinter: the test program with CUPS out of reach
#     must see no printer and raise clearly.
# Every wait is bounded.
set -uo pipefail
exe=$1
mode=$2
work=$(mktemp -d)
report="$work/report.txt"
# cups-pdf writes into PDF/ of the job owner's home folder, or into its anonymous spool folder.
home=$(getent passwd "$(id -un)" | cut -d: -f6)
dirs=("$home/PDF" "${HOME:-$home}/PDF" /var/spool/cups-pdf/ANONYMOUS)
find_pdf() {
  local d
  for d in "${dirs[@]}"; do
    [ -d "$d" ] && find "$d" -maxdepth 1 -name "$1*.pdf" -print 2>/dev/null
  done | head -1
}
# The printed files go again, whatever the outcome.
cleanup() {
  local t
  if [ -s "$report" ]; then
    for t in $(awk '$1 == "job" { print $2 }' "$report"); do
      for d in "${dirs[@]}"; do
        [ -d "$d" ] && find "$d" -maxdepth 1 -name "$t*.pdf" -delete 2>/dev/null
      done
    done
  fi
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "print-check: $*" >&2
  exit 1
}

if [ "$mode" = noprinter ]; then
  CUPS_SERVER="$work/no-cups.sock" SF_EXPECT_NO_PRINTER=1 timeout 120 \
    wine "$exe" --gtest_filter='NoPrinter.*' --gtest_brief=1
  exit $?
fi

if [ -z "${CUPS_SERVER:-}" ] || [ ! -S "$CUPS_SERVER" ]; then
  echo "print-check: no test CUPS server: skipped"
  exit 77
fi
for tool in pdftoppm lpstat; do
  command -v "$tool" >/dev/null 2>&1 || { echo "print-check: $tool missing: skipped"; exit 77; }
done

SF_REQUIRE_PRINTER=1 SF_PRINT_REPORT="Z:$report" timeout 120 \
  wine "$exe" --gtest_filter='Printing.*' --gtest_brief=1 || fail "the printing run failed"
[ -s "$report" ] || fail "the printing run wrote no report"
tr -d '\r' < "$report" > "$work/report.lf" && mv "$work/report.lf" "$report"

titles=$(awk '$1 == "job" { print $2 }' "$report")
deadline=$((SECONDS + 90))
while :; do
  missing=0
  for t in $titles; do
    [ -n "$(find_pdf "$t")" ] || missing=1
  done
  if [ $missing -eq 0 ] && [ -z "$(lpstat -o 2>/dev/null)" ]; then
    break
  fi
  [ $SECONDS -lt $deadline ] || fail "no PDF within 90 s for: $titles (searched ${dirs[*]})"
  sleep 0.5
done

dpi=50
errors=0
checks=0
while read -r kind title orient pw ph ox oy dpix dpiy; do
  [ "$kind" = job ] || continue
  pdf=$(find_pdf "$title")
  { read -r _; read -r iw ih; } < <(pdftoppm -r $dpi -singlefile "$pdf" | head -c 20)
  [[ "$iw$ih" =~ ^[0-9]+$ ]] || fail "$pdf: cannot render"
  if [ "$orient" = landscape ] && [ "$iw" -le "$ih" ] || [ "$orient" = portrait ] && [ "$ih" -le "$iw" ]; then
    echo "print-check: $title: page is ${iw}x${ih}, not $orient" >&2
    errors=$((errors + 1))
  fi
  # The page has the printer's physical size.
  ew=$((pw * dpi / dpix))
  eh=$((ph * dpi / dpiy))
  dw=$((iw - ew))
  dh=$((ih - eh))
  if [ ${dw#-} -gt 2 ] || [ ${dh#-} -gt 2 ]; then
    echo "print-check: $title: page is ${iw}x${ih} at $dpi dpi, expected ${ew}x${eh}" >&2
    errors=$((errors + 1))
  fi
  while read -r k t x y r g b; do
    [ "$k" = expect ] && [ "$t" = "$title" ] || continue
    px=$(((ox + x) * iw / pw))
    py=$(((oy + y) * ih / ph))
    read -r pr pg pb < <(pdftoppm -r $dpi -singlefile -x "$px" -y "$py" -W 1 -H 1 "$pdf" | tail -c 3 | od -An -tu1)
    [[ "$pr$pg$pb" =~ ^[0-9]+$ ]] || fail "$pdf: cannot read pixel ($px,$py)"
    checks=$((checks + 1))
    for pair in "$r $pr" "$g $pg" "$b $pb"; do
      set -- $pair
      d=$(($1 - $2))
      if [ ${d#-} -gt 60 ]; then
        echo "print-check: $title: pixel ($px,$py) is $pr $pg $pb, expected $r $g $b" >&2
        errors=$((errors + 1))
        break
      fi
    done
  done < "$report"
done < "$report"

[ $errors -eq 0 ] || fail "$errors check(s) failed"
[ $checks -ge 8 ] || fail "only $checks colour checks ran"
echo "print-check: portrait and landscape pages printed as drawn"
