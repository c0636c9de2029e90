# Sourced by the end-to-end scenarios: the real vantorell.exe on a Wine desktop
# with a taskbar and a notification area, driven from outside by vtdriver.
#
# The caller sets: exe driver marker pointer_size out scenario. Provides:
#   e2e_setup            checks the prefix, makes the scratch folder and the desktop name
#   e2e_start [ARGS]     starts the program on a new desktop (wine explorer /desktop=...)
#   e2e_launch [ARGS]    starts another copy on the same desktop, prints its process id
#   e2e_hold_desktop     keeps the test desktop open until the cleanup (e2e_start calls it)
#   drive ...            vtdriver on the test desktop
#   fail MESSAGE         notes a failure (screenshot and cleanup at exit)
#   poll SECONDS CMD...  runs CMD until it succeeds, at most SECONDS
#   reg_*                registry helpers that know the 32-bit view
#   tray_icon_shown      whether the notification area shows an icon
#   app_unix_pid         prints the Unix process id of the program e2e_start started
# Every wait has a deadline; on failure a screenshot is kept in $out and the
# processes this scenario started are ended by their ids.

# shellcheck source=../../scripts/wine-env.sh
. "$(dirname "${BASH_SOURCE[0]}")/../../scripts/wine-env.sh"

failed=0
app_pid=""      # Windows process id of the program
launcher_pid="" # Unix process id of the `wine explorer` that holds the desktop
extra_pids=()   # Windows process ids of further copies
cleanups=()     # commands run at exit

# The 64-bit program sees the machine's Software key directly, the 32-bit one through WOW64.
reg_view=/reg:64
user_run='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
machine_run='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
options_key='HKLM\Software\Vantorell'
# The options a copy saves, and (portable) its own Run value: the user's.
user_options_key='HKCU\Software\Vantorell'

fail() {
  echo "FAIL: $*" >&2
  failed=1
}

drive() { wine "$driver" --desktop "$desk" "$@" | tr -d '\r'; return "${PIPESTATUS[0]}"; }

poll() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    [ $SECONDS -ge "$deadline" ] && return 1
    sleep 0.2
  done
}

# Whether no box TITLE is open, asked anew at each call (for poll).
box_gone() {
  [ "$(drive has-box "$1" 2>/dev/null)" = 0 ]
}

# reg_value HIVE_KEY NAME [machine]: prints the data of a string or DWORD value, fails when absent.
reg_value() {
  local view=""
  [ "${3:-}" = machine ] && view=$reg_view
  # shellcheck disable=SC2086
  wine reg query "$1" /v "$2" $view 2>/dev/null | tr -d '\r' |
    awk -v n="$2" '{ line = $0; sub(/^ +/, "", line) }
      index(line, n " ") == 1 { sub(/^[^ ]+ +REG_[A-Z_]+ +/, "", line); print line; found = 1 }
      END { exit !found }'
}
reg_absent() { ! reg_value "$@" >/dev/null; }

# Skips the scenario (exit 77) without a prepared prefix; starts the display.
e2e_require_prefix() {
  if [ -z "${WINEPREFIX:-}" ] || [ ! -d "$WINEPREFIX" ]; then
    echo "SKIP: no prepared Wine prefix in WINEPREFIX (scripts/test.sh provides one)"
    exit 77
  fi
  wine_env_display || exit 1
}

e2e_setup() {
  e2e_require_prefix
  # Both builds read and write the machine's keys in the 64-bit view.
  scratch=$(mktemp -d "$out/e2e_$scenario.XXXXXX")
  # A desktop name of this run only: nothing else can carry it.
  desk="vt-$scenario-$$-$RANDOM"
  wine reg add "HKCU\\Software\\Wine\\Explorer\\Desktops\\$desk" /v EnableShell /t REG_DWORD /d 1 /f >/dev/null ||
    { fail "cannot enable the shell"; exit 1; }
  cp "$exe" "$scratch/vantorell.exe" && cp "$marker" "$scratch/vtmarker.exe" || { fail "copy"; exit 1; }
  cp "$(dirname "$exe")/VantorellHelp.html" "$scratch/" 2>/dev/null
  win_scratch=$(winepath -w "$scratch" 2>/dev/null | tr -d '\r')
  win_exe="$win_scratch\\vantorell.exe"
  trap e2e_cleanup EXIT
  # The options an earlier scenario's copy saved at its close would override
  # this scenario's own: every scenario starts from none and leaves none.
  wine reg delete "$user_options_key" /f >/dev/null 2>&1
  cleanups+=("wine reg delete '$user_options_key' /f")
}

e2e_start() {
  (cd "$scratch" && exec wine explorer "/desktop=$desk,1024x768" vantorell.exe "$@" >/dev/null 2>&1) &
  launcher_pid=$!
  e2e_hold_desktop || exit 1
  app_pid=$(drive --timeout 30 pid) || { fail "the program did not start"; exit 1; }
}

# Wine closes a desktop about a second after the last program on it ends. A scenario that ends
# the program and then drives the desktop again, or starts the next copy on it, would find it
# gone, or not, by timing: a holder of the scenario's own (vtdriver hold: a hidden window, no
# CPU) stays on it until the cleanup ends it. Its output goes to a file: the holder would keep a
# pipe open for ever.
e2e_hold_desktop() {
  local win_driver
  win_driver=$(winepath -w "$driver" 2>/dev/null | tr -d '\r')
  wine "$driver" --desktop "$desk" --timeout 60 launch "$win_driver" hold \
    >"$scratch/holder.txt" 2>"$scratch/holder.err" </dev/null ||
    { fail "no holder for the desktop: $(tr -d '\r' <"$scratch/holder.err")"; return 1; }
  extra_pids+=("$(tr -d '\r' <"$scratch/holder.txt")")
}

e2e_launch() {
  local pid
  pid=$(drive launch "$win_exe" "$@") || return 1
  extra_pids+=("$pid")
  echo "$pid"
}

# The program runs in the scratch folder; the desktop's explorer, started
# there too, names the program in its command line as well.
app_unix_pid() {
  local proc
  for proc in /proc/[0-9]*; do
    [ "$(readlink "$proc/cwd" 2>/dev/null)" = "$scratch" ] || continue
    case "$(tr '\0' ' ' 2>/dev/null <"$proc/cmdline")" in
      *explorer*) ;;
      *vantorell.exe*) echo "${proc#/proc/}" && return 0 ;;
    esac
  done
  return 1
}

# Wine's taskbar paints the icons at its right end: more than one colour there means an icon.
tray_icon_shown() {
  local colours
  colours=$(import -window root -crop 40x20+984+748 +repage png:- 2>/dev/null | convert png:- -format '%k' info:)
  [ "${colours:-1}" -gt 1 ]
}
tray_icon_gone() { ! tray_icon_shown; }

e2e_cleanup() {
  local code=$? pid proc cmd
  [ "$code" != 0 ] && [ "$code" != 77 ] && failed=1
  if [ "$failed" = 1 ]; then
    import -window root "$out/e2e_$scenario-failure.png" 2>/dev/null &&
      echo "screenshot: $out/e2e_$scenario-failure.png" >&2
  fi
  for pid in "$app_pid" "${extra_pids[@]}"; do
    [ -n "$pid" ] && wine "$driver" kill "$pid" >/dev/null 2>&1
  done
  [ -n "$launcher_pid" ] && kill "$launcher_pid" 2>/dev/null
  # The desktop's explorer is not our child: found by the desktop name of this run.
  for proc in /proc/[0-9]*; do
    cmd=$(tr '\0' ' ' 2>/dev/null <"$proc/cmdline") || continue
    case "$cmd" in *"/desktop=$desk,"*) kill "${proc#/proc/}" 2>/dev/null ;; esac
  done
  for cmd in "${cleanups[@]}"; do eval "$cmd" >/dev/null 2>&1; done
  wine reg delete "HKCU\\Software\\Wine\\Explorer\\Desktops\\$desk" /f >/dev/null 2>&1
  [ -n "${scratch:-}" ] && rm -rf "$scratch"
  if [ -n "${_vt_xvfb_pid:-}" ]; then kill "$_vt_xvfb_pid" 2>/dev/null; fi
  [ "$failed" = 0 ] && echo "PASS"
  exit "$failed"
}
