# Sourced by the scripts: a Wine prefix of our own, a persistent wineserver for
# fast starts, and a virtual display when there is none.
#   wine_env_start PREFIX   sets WINEPREFIX, starts the server, sets the prefix up once and
#                           starts Wine's services on every call
#   wine_env_stop           stops the server (and the virtual display we started)

export WINEDEBUG=-all
export WINEARCH=win64
# No Mono or Gecko installers popping up in a fresh prefix.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

_vt_xvfb_pid=""

wine_env_display() {
  if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then return 0; fi
  local n
  for n in $(seq 91 120); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    _vt_xvfb_pid=$!
    export DISPLAY=":$n"
    for _ in $(seq 1 50); do xdpyinfo >/dev/null 2>&1 && return 0; sleep 0.1; done
  done
  echo "could not start a virtual display" >&2
  return 1
}

wine_env_start() {
  export WINEPREFIX="$1"
  wine_env_display
  mkdir -p "$WINEPREFIX"
  wineserver -k >/dev/null 2>&1 || true
  wineserver -p </dev/null >/dev/null 2>&1
  if [ ! -f "$WINEPREFIX/.vantorell-ready" ]; then
    wineboot -i </dev/null >/dev/null 2>&1
    # A crashing program must not wait in the debugger for ever.
    wine reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /f >/dev/null 2>&1 || true
    touch "$WINEPREFIX/.vantorell-ready"
    # Setting a prefix up can leave two Service Control Managers running (services.exe started
    # twice), each with services the other does not know: a service made through one is missing
    # in the other. Started again, the prefix has one.
    wineserver -k >/dev/null 2>&1 || true
    wineserver -p </dev/null >/dev/null 2>&1
    wineboot </dev/null >/dev/null 2>&1
  else
    # The server was just restarted, so Wine's services (services.exe, explorer, ...) are not
    # running. Start them here, with no terminal or pipe of ours: otherwise the first program
    # under ctest starts them, they inherit ctest's output pipe, and ctest waits for ever.
    wineboot </dev/null >/dev/null 2>&1
  fi
}

wine_env_stop() {
  [ -n "${WINEPREFIX:-}" ] && wineserver -k >/dev/null 2>&1 || true
  if [ -n "$_vt_xvfb_pid" ]; then kill "$_vt_xvfb_pid" 2>/dev/null || true; fi
}
