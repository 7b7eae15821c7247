# Sourced by the scripts: a Wine prefix of the build folder's own, set up once, and an X display.
# Needs BUILD_DIR set. Defines start_display/stop_display and exports WINEPREFIX, WINEDEBUG, DISPLAY.

export WINEPREFIX="$BUILD_DIR/wineprefix"
export WINEARCH=win32
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
        [ -e "/tmp/.X11-unix/X$n" ] && return 0
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

# Creates the prefix once with deterministic settings: classic drawing, no audio, real font faces.
prepare_prefix() {
  local stamp="$WINEPREFIX/.sheetfold-ready"
  [ -f "$stamp" ] && return 0
  echo "wine: creating prefix $WINEPREFIX (once per build folder)"
  rm -rf "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1 || { echo "error: wineboot failed" >&2; return 1; }
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
REG
  wine regedit "$reg" >/dev/null 2>&1 || { echo "error: could not apply prefix settings" >&2; return 1; }
  wineserver -w
  touch "$stamp"
}

# Starts a persistent wineserver and Wine's background services with their output detached:
# services started by a test would inherit ctest's pipes and keep it waiting for ever.
start_wine_services() {
  wineserver -p >/dev/null 2>&1 </dev/null
  wine cmd /c exit >/dev/null 2>&1 </dev/null || true
}
