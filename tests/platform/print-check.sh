#!/usr/bin/env bash
# Printing checks run by ctest in the environment scripts/test.sh sets up (Wine prefix, display,
# and CUPS_SERVER when its private CUPS server runs).
#   print-check.sh <platform_tests.exe> printing: the test program prints a portrait and a
#     landscape page on the PDF printer and reports what it drew where; this script finds the
#     PDF files cups-pdf wrote and checks each page's orientation and the colours at the
#     reported places. Skipped (77) without the CUPS server or poppler's tools.
#   print-check.sh <app_tests.exe> project: the same for a whole project printed by the print
#     job, which splits it into one document per run of equally oriented pages; the report
#     also gives each document's sheet count, which the PDF's page count must match.
#   print-check.sh <platform_tests.exe> noprinter: the test program with CUPS out of reach
#     must see no printer and raise clearly.
# Report lines: "job TITLE ORIENTATION PHYSW PHYSH OFFX OFFY DPIX DPIY", "sheets TITLE N" and
# "expect TITLE X Y R G B [SHEET]" (device pixels of the printable area, sheet 1 when left out).
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

case "$mode" in
  printing) filter='Printing.*' ;;
  project) filter='PrintingProject.*' ;;
  *) fail "unknown mode $mode" ;;
esac

if [ -z "${CUPS_SERVER:-}" ] || [ ! -S "$CUPS_SERVER" ]; then
  echo "print-check: no test CUPS server: skipped"
  exit 77
fi
for tool in pdftoppm pdfinfo lpstat; do
  command -v "$tool" >/dev/null 2>&1 || { echo "print-check: $tool missing: skipped"; exit 77; }
done

SF_REQUIRE_PRINTER=1 SF_PRINT_REPORT="Z:$report" timeout 120 \
  wine "$exe" --gtest_filter="$filter" --gtest_brief=1 || fail "the printing run failed"
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
# The size of one rendered sheet: "width height".
sheet_size() {
  { read -r _; read -r w h; echo "$w $h"; } < <(pdftoppm -r $dpi -f "$2" -l "$2" -singlefile "$1" | head -c 20)
}
while read -r kind title orient pw ph ox oy dpix dpiy; do
  [ "$kind" = job ] || continue
  pdf=$(find_pdf "$title")
  pages=$(pdfinfo "$pdf" 2>/dev/null | awk '$1 == "Pages:" { print $2 }')
  [[ "$pages" =~ ^[0-9]+$ ]] || fail "$pdf: cannot read its page count"
  expected=$(awk -v t="$title" '$1 == "sheets" && $2 == t { print $3 }' "$report")
  if [ -n "$expected" ] && [ "$pages" != "$expected" ]; then
    echo "print-check: $title: $pages page(s), expected $expected" >&2
    errors=$((errors + 1))
  fi
  for ((sheet = 1; sheet <= pages; sheet++)); do
    read -r iw ih < <(sheet_size "$pdf" $sheet)
    [[ "$iw$ih" =~ ^[0-9]+$ ]] || fail "$pdf: cannot render page $sheet"
    if [ "$orient" = landscape ] && [ "$iw" -le "$ih" ] || [ "$orient" = portrait ] && [ "$ih" -le "$iw" ]; then
      echo "print-check: $title: page $sheet is ${iw}x${ih}, not $orient" >&2
      errors=$((errors + 1))
    fi
    # The page has the printer's physical size.
    ew=$((pw * dpi / dpix))
    eh=$((ph * dpi / dpiy))
    dw=$((iw - ew))
    dh=$((ih - eh))
    if [ ${dw#-} -gt 2 ] || [ ${dh#-} -gt 2 ]; then
      echo "print-check: $title: page $sheet is ${iw}x${ih} at $dpi dpi, expected ${ew}x${eh}" >&2
      errors=$((errors + 1))
    fi
  done
  while read -r k t x y r g b sheet; do
    [ "$k" = expect ] && [ "$t" = "$title" ] || continue
    sheet=${sheet:-1}
    if [ "$sheet" -gt "$pages" ]; then
      echo "print-check: $title: no page $sheet to check" >&2
      errors=$((errors + 1))
      continue
    fi
    read -r iw ih < <(sheet_size "$pdf" "$sheet")
    px=$(((ox + x) * iw / pw))
    py=$(((oy + y) * ih / ph))
    read -r pr pg pb < <(pdftoppm -r $dpi -f "$sheet" -l "$sheet" -singlefile -x "$px" -y "$py" -W 1 -H 1 "$pdf" | tail -c 3 | od -An -tu1)
    [[ "$pr$pg$pb" =~ ^[0-9]+$ ]] || fail "$pdf: cannot read pixel ($px,$py) of page $sheet"
    checks=$((checks + 1))
    for pair in "$r $pr" "$g $pg" "$b $pb"; do
      set -- $pair
      d=$(($1 - $2))
      if [ ${d#-} -gt 60 ]; then
        echo "print-check: $title: page $sheet pixel ($px,$py) is $pr $pg $pb, expected $r $g $b" >&2
        errors=$((errors + 1))
        break
      fi
    done
  done < "$report"
done < "$report"

[ $errors -eq 0 ] || fail "$errors check(s) failed"
[ $checks -ge 8 ] || fail "only $checks colour checks ran"
echo "print-check: every page printed as drawn, in the expected orientation and documents"
