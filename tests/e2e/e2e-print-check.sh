#!/usr/bin/env bash
# End-to-end printing checks run by ctest in the environment scripts/test.sh sets up.
#   e2e-print-check.sh <e2e_tests.exe> printing: the test program has Sheetfold.exe print a
#     portrait, a landscape and a portrait page; this script finds the three PDF files cups-pdf
#     wrote for the job title "Sheetfold" and checks each one's page count, orientation, size and
#     that its page shows the colour printed on it. Skipped (77) without the CUPS server or
#     poppler's tools.
#   e2e-print-check.sh <e2e_tests.exe> noprinter: the program with CUPS out of reach.
# Every wait is bounded.
set -uo pipefail
exe=$1
mode=$2
work=$(mktemp -d)
report="$work/report.txt"
home=$(getent passwd "$(id -un)" | cut -d: -f6)
dirs=("$home/PDF" "${HOME:-$home}/PDF" /var/spool/cups-pdf/ANONYMOUS)

# The PDF files of the job title written since the marker, oldest job first (cups-pdf appends
# "-job_<id>"; a new CUPS server counts from 1 again and overwrites older files of that name).
marker="$work/marker"
list_pdfs() {
  local d
  for d in "${dirs[@]}"; do
    [ -d "$d" ] && find "$d" -maxdepth 1 -name 'Sheetfold*.pdf' -newer "$marker" -print 2>/dev/null
  done | sort -u | awk '{ id = $0; sub(/.*job_/, "", id); sub(/\.pdf$/, "", id); print id + 0, $0 }' | sort -n | cut -d' ' -f2-
}

new_pdfs=()
cleanup() {
  local f
  for f in "${new_pdfs[@]}"; do
    rm -f "$f"
  done
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "e2e-print-check: $*" >&2
  exit 1
}

if [ "$mode" = noprinter ]; then
  CUPS_SERVER="$work/no-cups.sock" timeout 180 wine "$exe" --gtest_filter='NoPrinter.*' --gtest_brief=1
  exit $?
fi

if [ -z "${CUPS_SERVER:-}" ] || [ ! -S "$CUPS_SERVER" ]; then
  echo "e2e-print-check: no test CUPS server: skipped"
  exit 77
fi
for tool in pdftoppm pdfinfo lpstat; do
  command -v "$tool" >/dev/null 2>&1 || { echo "e2e-print-check: $tool missing: skipped"; exit 77; }
done

touch "$marker"
sleep 1
SF_PRINT_REPORT="$report" timeout 240 wine "$exe" --gtest_filter='Printing.*' --gtest_brief=1 || fail "the printing run failed"
[ -s "$report" ] || fail "the printing run wrote no report"
tr -d '\r' < "$report" > "$work/report.lf" && mv "$work/report.lf" "$report"
expected=$(awk '$1 == "page"' "$report" | wc -l)

deadline=$((SECONDS + 90))
while :; do
  mapfile -t new_pdfs < <(list_pdfs)
  if [ ${#new_pdfs[@]} -ge "$expected" ] && [ -z "$(lpstat -o 2>/dev/null)" ]; then
    break
  fi
  [ $SECONDS -lt $deadline ] || fail "${#new_pdfs[@]} of $expected PDF files within 90 s (searched ${dirs[*]})"
  sleep 0.5
done
[ ${#new_pdfs[@]} -eq "$expected" ] || fail "${#new_pdfs[@]} PDF files for $expected print documents"

# The share of a rendered page's pixels within 60 of the colour, in thousandths.
colour_share() {
  local pdf=$1 r=$2 g=$3 b=$4 ppm="$work/page.ppm" header
  pdftoppm -r 20 -singlefile "$pdf" > "$ppm" || { echo 0; return; }
  # A binary PPM: three header lines, then RGB bytes.
  header=$(head -n 3 "$ppm" | wc -c)
  tail -c +$((header + 1)) "$ppm" | od -An -v -tu1 -w3 | awk -v r="$r" -v g="$g" -v b="$b" '
    function abs(x) { return x < 0 ? -x : x }
    NF == 3 { n++; if (abs($1 - r) <= 60 && abs($2 - g) <= 60 && abs($3 - b) <= 60) hit++ }
    END { print (n ? int(hit * 1000 / n) : 0) }'
}

errors=0
i=0
while read -r kind orient r g b; do
  [ "$kind" = page ] || continue
  pdf=${new_pdfs[$i]}
  i=$((i + 1))
  pages=$(pdfinfo "$pdf" 2>/dev/null | awk '/^Pages:/ { print $2 }')
  if [ "$pages" != 1 ]; then
    echo "e2e-print-check: $pdf: $pages pages, expected 1 ($orient)" >&2
    errors=$((errors + 1))
    continue
  fi
  { read -r _; read -r iw ih; } < <(pdftoppm -r 20 -singlefile "$pdf" | head -c 20)
  [[ "$iw$ih" =~ ^[0-9]+$ ]] || fail "$pdf: cannot render"
  if { [ "$orient" = landscape ] && [ "$iw" -le "$ih" ]; } || { [ "$orient" = portrait ] && [ "$ih" -le "$iw" ]; }; then
    echo "e2e-print-check: $pdf: page is ${iw}x${ih}, not $orient" >&2
    errors=$((errors + 1))
  fi
  # A4 or Letter: the long side is 11 to 11.7 inches, 220 to 234 pixels at 20 dpi.
  long=$((iw > ih ? iw : ih))
  if [ "$long" -lt 216 ] || [ "$long" -gt 238 ]; then
    echo "e2e-print-check: $pdf: page is ${iw}x${ih} at 20 dpi, not a sheet of paper" >&2
    errors=$((errors + 1))
  fi
  # The block covers a quarter of the printable area: well over a tenth of the page.
  share=$(colour_share "$pdf" "$r" "$g" "$b")
  if [ "$share" -lt 100 ]; then
    echo "e2e-print-check: $pdf: only $share/1000 of the page in colour $r $g $b ($orient)" >&2
    errors=$((errors + 1))
  fi
done < "$report"

[ $errors -eq 0 ] || fail "$errors check(s) failed"
echo "e2e-print-check: $expected documents, portrait, landscape, portrait, each one sheet as printed"
