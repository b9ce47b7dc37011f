#!/usr/bin/env bash
# One unattended run of audit in a real window under Xvfb:
#   audit -auto -nooverwrite -path:<folder>
# waits for the dialog, takes a screenshot, checks that the three backups equal
# the logs byte for byte, and closes the dialog. Every wait is bounded.
# Usage: window_test.sh <audit executable> <work folder>
set -u
AUDIT=${1:?audit executable}
WORK=${2:?work folder}

fail() { echo "window_test: FAIL: $*" >&2; exit 1; }
# Every call to the X server is bounded too.
T() { timeout 10 "$@"; }

rm -rf "$WORK"
mkdir -p "$WORK/logs" "$WORK/registry" "$WORK/drives/d" "$WORK/auto" || fail "cannot make $WORK"
export AUDIT_LOG_DIR="$WORK/logs" AUDIT_REGISTRY_DIR="$WORK/registry" AUDIT_DRIVE_ROOT="$WORK/drives"
printf 'Dec  9 04:00:01 host kernel: system record\n' > "$AUDIT_LOG_DIR/syslog"
printf 'Dec  9 04:00:02 host app: application record @ 100%%\n' > "$AUDIT_LOG_DIR/user.log"
head -c 200000 /dev/urandom | base64 >> "$AUDIT_LOG_DIR/user.log"
printf 'Dec  9 04:00:03 host sshd: security record\n' > "$AUDIT_LOG_DIR/auth.log"

# Stored defaults, as Configure would write them (type, then the data).
KEY="$AUDIT_REGISTRY_DIR/HKEY_LOCAL_MACHINE/Software/Calvetta/Tervane"
mkdir -p "$KEY"
store_text() { { printf '\001\000\000\000%s' "$2"; head -c $((80 - ${#2})) /dev/zero; } > "$KEY/$1"; }
store_text SysName "web@01 100%"
store_text Drive d
store_text Type Servers
store_text AutoLocation "$WORK/stored/"
printf '\004\000\000\000\000\000\000\000' > "$KEY/Clear"

XVFB_PID=""
AUDIT_PID=""
cleanup() {
  [ -n "$AUDIT_PID" ] && kill "$AUDIT_PID" 2>/dev/null
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null
  wait 2>/dev/null
}
trap cleanup EXIT

# Xvfb picks a free display itself and writes its number once it accepts
# connections, so test runs side by side never share a display.
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$WORK/display" >"$WORK/xvfb.log" 2>&1 &
XVFB_PID=$!
DISPLAY_NUM=""
for _ in $(seq 1 100); do
  # The number is complete once its line has ended.
  [ "$(wc -l < "$WORK/display")" -ge 1 ] && DISPLAY_NUM=$(head -n 1 "$WORK/display") && break
  kill -0 "$XVFB_PID" 2>/dev/null || fail "Xvfb did not start: $(cat "$WORK/xvfb.log")"
  sleep 0.1
done
[ -n "$DISPLAY_NUM" ] || fail "Xvfb gave no display number"
export DISPLAY=":$DISPLAY_NUM"
T xdotool getdisplaygeometry >/dev/null 2>&1 || fail "Xvfb not ready on $DISPLAY"

DATE=$(date +%m-%d-%y)
"$AUDIT" -auto -nooverwrite "-path:$WORK/auto/" >"$WORK/audit.log" 2>&1 &
AUDIT_PID=$!

# The unattended run's window closes once the run is done; the dialog shown
# after it is then the only window named Tervane (message boxes have that
# name too), and it stays.
for _ in $(seq 1 150); do
  kill -0 "$AUDIT_PID" 2>/dev/null || fail "audit ended early: $(cat "$WORK/audit.log")"
  [ -f "$WORK/auto/$DATE/sec.evt" ] && break
  sleep 0.2
done
[ -f "$WORK/auto/$DATE/sec.evt" ] || fail "timed out waiting for the backups"

# The one window named Tervane, the same for a second; empty otherwise.
steady_window() {
  local ids again
  ids=$(T xdotool search --onlyvisible --name '^Tervane$' 2>/dev/null)
  [ "$(printf '%s\n' "$ids" | grep -c .)" = 1 ] || return 1
  sleep 1
  again=$(T xdotool search --onlyvisible --name '^Tervane$' 2>/dev/null)
  [ "$again" = "$ids" ] || return 1
  echo "$ids"
}

# The window found may still be the unattended run's, closing under a slow
# machine: the screenshot of the dialog is taken again from a fresh search
# until it succeeds.
SHOT="$WORK/audit-window.png"
WID=""
for _ in $(seq 1 20); do
  kill -0 "$AUDIT_PID" 2>/dev/null || fail "audit ended early: $(cat "$WORK/audit.log")"
  if WID=$(steady_window); then
    sleep 0.3  # let it draw
    if T import -window "$WID" "$WORK/audit-dialog.png" 2>/dev/null &&
       [ "$(steady_window)" = "$WID" ]; then
      break
    fi
  fi
  WID=""
  sleep 0.2
done
[ -n "$WID" ] || fail "timed out waiting for the dialog"
T import -window root "$SHOT" || fail "screenshot failed"
[ -s "$SHOT" ] || fail "empty screenshot"

for pair in syslog:sys.evt user.log:app.evt auth.log:sec.evt; do
  log=${pair%%:*}; evt=${pair##*:}
  cmp -s "$AUDIT_LOG_DIR/$log" "$WORK/auto/$DATE/$evt" || fail "$evt differs from $log"
  mode=$(stat -c %a "$WORK/auto/$DATE/$evt")
  [ "$mode" = 600 ] || fail "$evt has mode $mode"
done
# The command line's folder won over the stored one.
[ ! -e "$WORK/stored" ] || fail "the stored folder was used"

# Closes the dialog of the running audit with Escape and waits for the
# program to end.
close_dialog() {
  local W attempt
  for attempt in 1 2 3; do
    W=$(T xdotool search --onlyvisible --name '^Tervane$' 2>/dev/null | tail -n 1)
    [ -n "$W" ] || W=$WID
    if [ "$attempt" = 1 ]; then
      T xdotool key --window "$W" Escape >/dev/null 2>&1
    else
      T xdotool windowfocus --sync "$W" key Escape >/dev/null 2>&1
    fi
    for _ in $(seq 1 50); do
      kill -0 "$AUDIT_PID" 2>/dev/null || break 2
      sleep 0.1
    done
  done
  kill -0 "$AUDIT_PID" 2>/dev/null && fail "the dialog did not close"
  wait "$AUDIT_PID"
  local rc=$?
  AUDIT_PID=""
  [ "$rc" = 0 ] || fail "audit exited with $rc"
}

# Starts audit without flags and waits for its dialog (its id in WID).
start_dialog() {
  "$AUDIT" >"$WORK/audit.log" 2>&1 &
  AUDIT_PID=$!
  WID=""
  for _ in $(seq 1 50); do
    kill -0 "$AUDIT_PID" 2>/dev/null || fail "audit ended early: $(cat "$WORK/audit.log")"
    WID=$(steady_window) && break
    WID=""
    sleep 0.2
  done
  [ -n "$WID" ] || fail "timed out waiting for the dialog"
  T xdotool mousemove 0 0 >/dev/null 2>&1  # no tooltip over the dialog
  sleep 0.3  # let it draw
}

# Waits for a window by its exact name and prints its id.
wait_window() {
  local id
  for _ in $(seq 1 50); do
    id=$(T xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | tail -n 1)
    [ -n "$id" ] && { sleep 0.3; echo "$id"; return 0; }
    sleep 0.2
  done
  return 1
}

# Dialog units to pixels, as the dialog layer converts them.
px() { echo $(( $1 * 8 / 5 )); }
py() { echo $(( $1 * 13 / 8 )); }
# Clicks at a point of a window given in dialog units.
click_at() { T xdotool mousemove --window "$1" "$(px "$2")" "$(py "$3")" click 1 >/dev/null 2>&1; }
# Cuts a control's area (dialog units x y w h) out of a window's screenshot.
crop() { convert "$1" -crop "$(px "$4")x$(py "$5")+$(px "$2")+$(py "$3")" +repage "$6"; }

close_dialog

# ---- Changed labels redraw cleanly ----
# Configure changes the system name and the drive; Change... cancelled puts
# the drive path into the save location. Each label must then look exactly
# as a fresh dialog draws the same values, not like the new text over the old.
start_dialog
click_at "$WID" 39 71  # Configure
CFG=$(wait_window "Configure Defaults") || fail "no Configure dialog"
click_at "$CFG" 71 20  # System Name
T xdotool key ctrl+a type web01 >/dev/null 2>&1
click_at "$CFG" 71 44  # ZIP Drive Letter
T xdotool key ctrl+a type E >/dev/null 2>&1
T xdotool key Return >/dev/null 2>&1
for _ in $(seq 1 50); do
  T xdotool search --onlyvisible --name '^Configure Defaults$' >/dev/null 2>&1 || break
  sleep 0.1
done
click_at "$WID" 173 106  # Change...
PICK=$(wait_window "Save Files To Custom Directory.") || fail "no folder picker"
T xdotool mousemove --window "$PICK" 10 10 >/dev/null 2>&1
T xdotool key Escape >/dev/null 2>&1
for _ in $(seq 1 50); do
  T xdotool search --onlyvisible --name '^Save Files To Custom Directory.$' >/dev/null 2>&1 || break
  sleep 0.1
done
T xdotool mousemove 0 0 >/dev/null 2>&1
sleep 2
T import -window "$WID" "$WORK/changed.png" || fail "screenshot failed"
grep -q "web01" "$KEY/SysName" || fail "Configure did not store the new system name"
close_dialog

start_dialog  # draws the stored values fresh
T import -window "$WID" "$WORK/fresh.png" || fail "screenshot failed"
for area in "System Name:72 16 64 9" "Drive:72 27 64 9" "save location:14 99 132 18"; do
  name=${area%%:*}; set -- ${area#*:}
  crop "$WORK/changed.png" "$@" "$WORK/changed-part.png"
  crop "$WORK/fresh.png" "$@" "$WORK/fresh-part.png"
  differ=$(compare -metric AE "$WORK/changed-part.png" "$WORK/fresh-part.png" null: 2>&1)
  [ "$differ" = 0 ] || fail "the $name label is drawn over its old text ($differ pixels differ; see $WORK/changed.png)"
done
close_dialog

# ---- The longest values: screenshots of the main and Configure dialogs ----
LONG_NAME="mail-relay-frankfurt-rack-17-node-b-primary-backup-archive-server-WWWMMM-000079"
LONG_TYPE="Exchange-Mailbox-Servers-Datacenter-West-Wing-Building-C-Floor-4-WWWMMM-0000079"
LONG_DRIVE="E-drive-letter-then-a-note-of-79-characters-that-only-its-first-letter-counts79"
LONG_AUTO="/srv/backups/event-logs/automatic-mode/with-a-rather-long-folder-name-00000079/"
for v in "$LONG_NAME" "$LONG_TYPE" "$LONG_DRIVE" "$LONG_AUTO"; do
  [ "${#v}" = 79 ] || fail "test value of ${#v} characters, not 79: $v"
done
store_text SysName "$LONG_NAME"
store_text Type "$LONG_TYPE"
store_text Drive "$LONG_DRIVE"
store_text AutoLocation "$LONG_AUTO"
start_dialog
T import -window "$WID" "$WORK/longest-main.png" || fail "screenshot failed"
# The shortened system name shows in full on hover.
T xdotool mousemove --window "$WID" "$(px 100)" "$(py 20)" >/dev/null 2>&1
sleep 2
T import -window root "$WORK/longest-tooltip.png" || fail "screenshot failed"
click_at "$WID" 39 71  # Configure
CFG=$(wait_window "Configure Defaults") || fail "no Configure dialog"
T import -window "$CFG" "$WORK/longest-configure.png" || fail "screenshot failed"
T xdotool mousemove --window "$CFG" 10 10 key Escape >/dev/null 2>&1
sleep 0.5
close_dialog
echo "window_test: ok (screenshots $SHOT, $WORK/longest-main.png, $WORK/longest-configure.png)"
