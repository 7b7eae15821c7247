#!/usr/bin/env bash
# Makes the corpus of enhanced metafiles that the metafile checks are held against: drawings
# written here in PostScript (text in several faces, curves, clipping, dashes, fills, transforms)
# and turned into metafiles by another program (pstoedit, through libEMF, with Ghostscript), in the
# record styles that program's options give; it drops raster images, so bitmaps are not among
# them. The files are kept in the tests, so that building and testing need neither program; run
# this again (Debian: pstoedit ghostscript) only to make the corpus anew.
set -euo pipefail
HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
command -v pstoedit >/dev/null || { echo "make-corpus: pstoedit is needed (apt-get install pstoedit)" >&2; exit 1; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

prologue='%!PS-Adobe-3.0
%%BoundingBox: 0 0 400 300
'
declare -A drawing
drawing[text]='
/Helvetica findfont 28 scalefont setfont 20 250 moveto (Sheetfold metafile) show
/Times-Italic findfont 18 scalefont setfont 0 0.4 0 setrgbcolor 20 200 moveto (Times italic, 18 points) show
/Courier-Bold findfont 14 scalefont setfont 0.6 0 0 setrgbcolor 20 160 moveto (Courier bold: 0123456789) show
gsave 300 40 translate 30 rotate /Helvetica-Bold findfont 20 scalefont setfont 0 0 1 setrgbcolor 0 0 moveto (turned) show grestore'
drawing[curves]='
newpath 20 150 moveto 80 290 200 10 380 150 curveto 0 0 1 setrgbcolor 5 setlinewidth stroke
newpath 200 150 100 0 360 arc 1 0.5 0 setrgbcolor 2 setlinewidth stroke
newpath 120 80 40 30 200 arc closepath 0.2 0.7 0.2 setrgbcolor fill'
drawing[symbols]='
/Symbol findfont 30 scalefont setfont 20 230 moveto (abgdp S W) show
/ZapfDingbats findfont 30 scalefont setfont 0.1 0.5 0.1 setrgbcolor 20 160 moveto (3 4 5 6 n l) show
/Helvetica findfont 9 scalefont setfont 0 setgray 20 100 moveto (small print, nine points) show
/Helvetica findfont [30 0 10 20 0 0] makefont setfont 20 40 moveto (slanted) show'
drawing[clipping]='
gsave newpath 200 150 120 0 360 arc clip
0 1 19 { dup 20 mul 0 moveto 0 300 rlineto 0.05 mul 0 1 setrgbcolor 10 setlinewidth stroke } for grestore
gsave newpath 20 20 moveto 180 20 lineto 100 140 lineto closepath clip 1 0 0 setrgbcolor 0 0 400 300 rectfill grestore'
drawing[lines]='
[12 6] 0 setdash 3 setlinewidth 20 280 moveto 380 280 lineto stroke
[4 4 1 4] 0 setdash 20 250 moveto 380 250 lineto stroke [] 0 setdash
1 setlinecap 12 setlinewidth 40 200 moveto 360 200 lineto stroke
2 setlinejoin 0 setlinecap 8 setlinewidth 40 40 moveto 120 160 lineto 200 40 lineto 280 160 lineto 360 40 lineto stroke'
drawing[fills]='
newpath 200 150 moveto 0 1 4 { 144 mul dup cos 120 mul 200 add exch sin 120 mul 150 add lineto } for closepath
0.8 0.1 0.6 setrgbcolor eofill
0 1 9 { dup 0.1 mul 1 exch sub setgray 30 mul 10 add 10 25 25 rectfill } for'
drawing[transforms]='
200 150 translate 0 30 330 { gsave rotate 1.5 1 scale 0 0 moveto 80 0 lineto 0.1 setlinewidth 0 0 0 setrgbcolor 2 setlinewidth stroke grestore } for
/Helvetica findfont 12 scalefont setfont -30 -6 moveto (centre) show'
drawing[chart]='
/Helvetica findfont 10 scalefont setfont
40 40 moveto 380 40 lineto 40 40 moveto 40 280 lineto 0 setgray 1 setlinewidth stroke
0 1 5 { dup 60 mul 60 add 28 moveto 2 string cvs show } for
0.2 0.4 0.8 setrgbcolor
60 40 20 30 rectfill 120 40 20 80 rectfill 180 40 20 55 rectfill 240 40 20 120 rectfill 300 40 20 95 rectfill
newpath 70 100 moveto 130 150 lineto 190 120 lineto 250 200 lineto 310 180 lineto 0.8 0.2 0.2 setrgbcolor 2 setlinewidth stroke'

# Each drawing in four record styles: text as text, placed letter by letter and turned, as outlines
# at another scale, and in Arial upside down. All in the writer's office form: its plain form gives
# a frame fifteen times the drawing's size, which GDI draws as an empty picture.
styles=("text|emf:-OO|" "letters|emf:-OO|-pta -rotate 90" "outlines|emf:-OO|-dt -xscale 2 -yscale 1.5"
        "arial|emf:-OO -m|-rotate 180")
for name in "${!drawing[@]}"; do
  printf '%s%s\nshowpage\n' "$prologue" "${drawing[$name]}" >"$work/$name.ps"
  for style in "${styles[@]}"; do
    IFS='|' read -r label format options <<<"$style"
    # shellcheck disable=SC2086
    if ! pstoedit $options -f "$format" "$work/$name.ps" "$HERE/$name-$label.emf" >"$work/log" 2>&1; then
      cat "$work/log" >&2
      exit 1
    fi
  done
done

# The resource script that carries them in the test program.
{
  echo "// Made by make-corpus.sh: the enhanced metafiles of the corpus, numbered from 1."
  n=0
  for file in $(cd "$HERE" && ls ./*.emf | sort); do
    n=$((n + 1))
    echo "$n METAFILECORPUS \"tests/platform/metafiles/${file#./}\""
  done
} >"$HERE/../MetafileCorpus.rc"
echo "make-corpus: $(ls "$HERE"/*.emf | wc -l) metafiles"
