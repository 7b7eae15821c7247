# Sourced by the scripts: a Wine prefix of the build folder's own, set up once, and an X display.
# Needs BUILD_DIR and SF_ARCH (from host.sh). Defines start_display/stop_display, exports WINEPREFIX,
# WINEARCH, WINEDEBUG and DISPLAY, and puts the loader for SF_ARCH first on PATH as 'wine'.

if [ -z "${SF_ARCH:-}" ]; then
  . "$(dirname "${BASH_SOURCE[0]}")/host.sh"
  sf_pick_arch
fi
sf_check_wine
sf_install_wine_shim

export WINEPREFIX="$BUILD_DIR/wineprefix"
if [ "$SF_ARCH" = x86_64 ]; then
  export WINEARCH=win64
else
  export WINEARCH=win32
fi
export WINEDEBUG=-all
# No Mono or Gecko install prompts in a fresh prefix.
export WINEDLLOVERRIDES="mscoree=;mshtml="
export LANG=${SHEETFOLD_LANG:-en_US.UTF-8}

SF_XVFB_PID=""

start_display() {
  if [ -n "${DISPLAY:-}" ] && [ "${1:-}" != "--own" ]; then
    return 0
  fi
  local n
  for n in $(seq 91 199); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
      Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
      SF_XVFB_PID=$!
      export DISPLAY=":$n"
      local i
      for i in $(seq 1 50); do
        # Another run may have taken the display at the same moment: then ours has exited.
        if [ -e "/tmp/.X11-unix/X$n" ]; then
          sleep 0.2
          kill -0 "$SF_XVFB_PID" 2>/dev/null && return 0
          break
        fi
        kill -0 "$SF_XVFB_PID" 2>/dev/null || break
        sleep 0.1
      done
      kill "$SF_XVFB_PID" 2>/dev/null || true
      SF_XVFB_PID=""
    fi
  done
  echo "error: could not start Xvfb on any display" >&2
  return 1
}

stop_display() {
  if [ -n "$SF_XVFB_PID" ]; then
    kill "$SF_XVFB_PID" 2>/dev/null || true
    wait "$SF_XVFB_PID" 2>/dev/null || true
    SF_XVFB_PID=""
  fi
}

# Wine's own fonts that the program draws with, in the prefix's Fonts folder: this Wine looks for
# them in a folder it cannot reach, and without Marlett the caption buttons and the system's
# glyphs show letters ("r" for the close cross). Runs on every start, so that older prefixes get
# them too.
SF_WINE_FONTS="${SF_WINE_FONTS:-/usr/share/wine/fonts}"
install_prefix_fonts() {
  local fonts="$WINEPREFIX/drive_c/windows/Fonts" font
  mkdir -p "$fonts"
  for font in marlett.ttf; do
    [ -f "$fonts/$font" ] && continue
    if [ ! -f "$SF_WINE_FONTS/$font" ]; then
      echo "warning: $SF_WINE_FONTS/$font is missing (package fonts-wine): symbol glyphs show as letters" >&2
      continue
    fi
    cp "$SF_WINE_FONTS/$font" "$fonts/$font"
  done
}

# Creates the prefix once with deterministic settings: classic drawing, no audio, real font faces,
# and the programs that show and hide many windows left unmanaged (without a window manager Wine
# waits for each managed window that hides). The tests set that too, but Wine reads it before a
# program's own code runs, so in a new prefix it would only hold from the second run on.
prepare_prefix() {
  local stamp="$WINEPREFIX/.sheetfold-ready"
  if [ -f "$stamp" ]; then
    install_prefix_fonts
    return 0
  fi
  echo "wine: creating prefix $WINEPREFIX (once per build folder)"
  rm -rf "$WINEPREFIX"
  local log="$BUILD_DIR/wineboot.log"
  if ! wineboot -i >"$log" 2>&1; then
    echo "error: wineboot failed making a $WINEARCH prefix with $WINELOADER; its output:" >&2
    tail -n 20 "$log" >&2
    return 1
  fi
  local reg="$BUILD_DIR/sheetfold-prefix.reg"
  cat > "$reg" <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\ThemeManager]
"ThemeActive"="0"

[HKEY_CURRENT_USER\Software\Wine\Drivers]
"Audio"=""

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"Arial"="Liberation Sans"
"MS Sans Serif"="Liberation Sans"
"Microsoft Sans Serif"="Liberation Sans"
"Tahoma"="Liberation Sans"
"Times New Roman"="Liberation Serif"
"Courier New"="Liberation Mono"

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000

[HKEY_CURRENT_USER\Software\Wine\AppDefaults\toolbar_tests.exe\X11 Driver]
"Managed"="N"

[HKEY_CURRENT_USER\Software\Wine\AppDefaults\skin_tests.exe\X11 Driver]
"Managed"="N"

[HKEY_CURRENT_USER\Software\Wine\AppDefaults\Sheetfold.exe\X11 Driver]
"Managed"="N"
REG
  wine regedit "$reg" >/dev/null 2>&1 || { echo "error: could not apply prefix settings" >&2; return 1; }
  wineserver -w
  install_prefix_fonts
  touch "$stamp"
}

# Starts a persistent wineserver and Wine's background services with their output detached:
# services started by a test would inherit ctest's pipes and keep it waiting for ever.
start_wine_services() {
  wineserver -p >/dev/null 2>&1 </dev/null
  wine cmd /c exit >/dev/null 2>&1 </dev/null || true
}

# A private CUPS server with two PDF queues ("PDF", the default, and "PDF2", both through
# cups-pdf), for printing tests: its
# configuration, spool and logs live in the build folder and it listens on a socket there.
# Exports CUPS_SERVER, which is how Wine (and lpstat) find it. Nothing happens when CUPS or
# cups-pdf is not installed: the program then sees no printer.
SF_CUPSD_PID=""
export SF_CUPS_DIR="$BUILD_DIR/cups"

start_cups() {
  command -v cupsd >/dev/null 2>&1 || return 0
  command -v lpadmin >/dev/null 2>&1 || return 0
  [ -e /usr/lib/cups/backend/cups-pdf ] || return 0
  local dir="$SF_CUPS_DIR" sock="$SF_CUPS_DIR/cups.sock"
  rm -rf "$dir"
  mkdir -p "$dir/spool" "$dir/cache" "$dir/state" "$dir/tmp" "$dir/log" "$dir/ppd"
  cat > "$dir/cupsd.conf" <<CONF
Listen $sock
LogLevel warn
Browsing No
WebInterface No
DefaultAuthType None
MaxJobs 100
<Location />
  Order allow,deny
  Allow all
</Location>
<Location /admin>
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
CONF
  cat > "$dir/cups-files.conf" <<CONF
ServerRoot $dir
RequestRoot $dir/spool
CacheDir $dir/cache
StateDir $dir/state
TempDir $dir/tmp
AccessLog $dir/log/access_log
ErrorLog $dir/log/error_log
PageLog $dir/log/page_log
Printcap $dir/printcap
ServerBin /usr/lib/cups
DataDir /usr/share/cups
User lp
Group lp
SystemGroup root lpadmin
CONF
  cupsd -f -c "$dir/cupsd.conf" -s "$dir/cups-files.conf" >"$dir/log/cupsd.out" 2>&1 </dev/null &
  SF_CUPSD_PID=$!
  local i
  for i in $(seq 1 100); do
    [ -S "$sock" ] && break
    kill -0 "$SF_CUPSD_PID" 2>/dev/null || break
    sleep 0.1
  done
  if [ ! -S "$sock" ]; then
    echo "warning: cupsd did not start (see $dir/log); printing tests are skipped" >&2
    stop_cups
    return 0
  fi
  export CUPS_SERVER="$sock"
  # A second queue lets tests switch printers.
  if ! timeout 30 lpadmin -p PDF -E -v cups-pdf:/ -m lsb/usr/cups-pdf/CUPS-PDF_opt.ppd >"$dir/log/lpadmin.out" 2>&1 \
    || ! timeout 30 lpadmin -p PDF2 -E -v cups-pdf:/ -m lsb/usr/cups-pdf/CUPS-PDF_opt.ppd >>"$dir/log/lpadmin.out" 2>&1 \
    || ! timeout 10 lpadmin -d PDF >>"$dir/log/lpadmin.out" 2>&1; then
    echo "warning: could not add the PDF printer (see $dir/log); printing tests are skipped" >&2
    stop_cups
    return 0
  fi
}

stop_cups() {
  if [ -n "$SF_CUPSD_PID" ]; then
    kill "$SF_CUPSD_PID" 2>/dev/null || true
    wait "$SF_CUPSD_PID" 2>/dev/null || true
    SF_CUPSD_PID=""
  fi
  unset CUPS_SERVER
}
