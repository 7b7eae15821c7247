#!/usr/bin/env bash
# End-to-end printing checks run by ctest in the environment scripts/test.sh sets up.
#   e2e-print-check.sh <e2e_tests.exe> printing: the test program has Sheetfold.exe print a
#     portrait, a landscape and a portrait page on a PDF queue of this run's own; this script
#     finds the three PDF files cups-pdf wrote for the job title "Sheetfold" and checks each
#     one's page count, orientation, size and that its page shows the colour printed on it. Skipped (77) without the CUPS server or
#     poppler's tools.
#   e2e-print-check.sh <e2e_tests.exe> noprinter: the program with CUPS out of reach.
# Every wait is bounded.
set -uo pipefail
exe=$1
mode=$2
work=$(mktemp -d)
report="$work/report.txt"
# Every test run on the machine shares cups-pdf's default folder (~/PDF), where runs of other
# folders write and remove files of the same job title. For this check the default queue of the
# private CUPS server (which Wine knows from its start) gets a device of its own, whose cups-pdf
# configuration (named after the device) writes into a private folder; it gets its device back
# at the end. Printing checks run one at a time, so nothing else prints to it meanwhile.
queue=PDF
device="SheetfoldE2E$$"
queue_conf="/etc/cups/cups-pdf-$device.conf"
out="$work/pdf"

# The PDF files of the job title, oldest job first (cups-pdf appends "-job_<id>").
list_pdfs() {
  find "$out" -maxdepth 1 -name 'Sheetfold*.pdf' -print 2>/dev/null |
    awk '{ id = $0; sub(/.*job_/, "", id); sub(/\.pdf$/, "", id); print id + 0, $0 }' | sort -n | cut -d' ' -f2-
}

cleanup() {
  if [ -n "${CUPS_SERVER:-}" ] && [ -f "$queue_conf" ]; then
    timeout 30 lpadmin -p "$queue" -v cups-pdf:/ >/dev/null 2>&1
  fi
  rm -f "$queue_conf"
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

mkdir -p "$out"
sed "/^Out[[:space:]]/d" /etc/cups/cups-pdf.conf > "$queue_conf" 2>/dev/null || fail "cannot write $queue_conf"
echo "Out $out" >> "$queue_conf"
timeout 30 lpadmin -p "$queue" -v "cups-pdf:/$device" >"$work/lpadmin.out" 2>&1 ||
  fail "cannot give the queue $queue its own device: $(cat "$work/lpadmin.out")"

SF_PRINT_REPORT="$report" timeout 240 wine "$exe" --gtest_filter='Printing.*' --gtest_brief=1 || fail "the printing run failed"
[ -s "$report" ] || fail "the printing run wrote no report"
tr -d '\r' < "$report" > "$work/report.lf" && mv "$work/report.lf" "$report"
expected=$(awk '$1 == "page"' "$report" | wc -l)

deadline=$((SECONDS + 90))
while :; do
  mapfile -t new_pdfs < <(list_pdfs)
  if [ ${#new_pdfs[@]} -ge "$expected" ] && [ -z "$(lpstat -o "$queue" 2>/dev/null)" ]; then
    break
  fi
  [ $SECONDS -lt $deadline ] || fail "${#new_pdfs[@]} of $expected PDF files within 90 s in $out"
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
