# shellcheck shell=bash disable=SC2317  # the _condition functions are called through e2e_wait_for
# Helpers for driving the real Kolvane window under Xvfb with real X input
# (xdotool), sourced by the end-to-end scenarios. Every wait is a bounded
# wait for a condition; nothing assumes the machine is fast.
#
# e2e_init BUILD_DIR [CLOSE_HELPER] sets up a private display, HOME and XDG
# folders; e2e_start starts the program and finds its window.

E2E_TIMEOUT=${E2E_TIMEOUT:-30}  # seconds for any one condition
E2E_HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

e2e_log() { echo "e2e: $*" >&2; }

e2e_fail() {
  e2e_log "FAIL: $*"
  if [[ -n "${DISPLAY:-}" && -n "${E2E_ROOT:-}" ]]; then
    local picture="$E2E_ROOT/failure.png"
    e2e_screenshot_png "$picture" 2>/dev/null && e2e_log "the screen at the failure: $picture"
  fi
  if [[ -f "${E2E_ROOT:-}/kolvane.log" ]]; then
    e2e_log "the program's output:"
    tail -n 40 "$E2E_ROOT/kolvane.log" >&2
  fi
  exit 1
}

# e2e_wait_for DESCRIPTION COMMAND...: polls COMMAND until it succeeds.
e2e_wait_for() {
  local what=$1
  shift
  local deadline=$((SECONDS + E2E_TIMEOUT))
  until "$@"; do
    ((SECONDS < deadline)) || e2e_fail "timed out after ${E2E_TIMEOUT}s waiting for: $what"
    sleep 0.1
  done
}

e2e_cleanup() {
  local status=$?
  if [[ -n "${E2E_PID:-}" ]] && kill -0 "$E2E_PID" 2>/dev/null; then
    kill "$E2E_PID" 2>/dev/null || true
    wait "$E2E_PID" 2>/dev/null || true
  fi
  if [[ -n "${E2E_XVFB_PID:-}" ]]; then
    kill "$E2E_XVFB_PID" 2>/dev/null || true
    wait "$E2E_XVFB_PID" 2>/dev/null || true
  fi
  # A failed run is kept for a look at its screen, log and folders.
  if [[ $status -eq 0 && -z "${E2E_KEEP:-}" && -n "${E2E_ROOT:-}" ]]; then
    rm -rf "$E2E_ROOT"
  elif [[ -n "${E2E_ROOT:-}" ]]; then
    e2e_log "kept $E2E_ROOT"
  fi
}

e2e_init() {
  E2E_BUILD=$(cd "${1:?build folder}" && pwd)
  E2E_CLOSE=${2:-$E2E_BUILD/x11_close_window}
  E2E_CLOSE=$(realpath "$E2E_CLOSE")
  for tool in Xvfb xdotool xprop gst-launch-1.0; do
    command -v "$tool" >/dev/null || e2e_fail "$tool is missing (scripts/install-deps installs it)"
  done
  [[ -z "${E2E_KEEP:-}" ]] || mkdir -p "$E2E_KEEP"
  E2E_ROOT=$(mktemp -d "${E2E_KEEP:-${TMPDIR:-/tmp}}/kolvane-e2e-XXXXXX")
  trap e2e_cleanup EXIT

  # A user of our own: nothing of the developer's settings or scenes.
  export HOME="$E2E_ROOT/home"
  export XDG_CONFIG_HOME="$HOME/.config" XDG_DATA_HOME="$HOME/.local/share"
  export XDG_CACHE_HOME="$HOME/.cache" XDG_RUNTIME_DIR="$E2E_ROOT/runtime"
  export XDG_DOCUMENTS_DIR="$HOME/Documents"
  mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_DOCUMENTS_DIR" \
           "$XDG_RUNTIME_DIR"
  chmod 700 "$XDG_RUNTIME_DIR"
  export KOLVANE_AUDIO_SINK=fakesink KOLVANE_VIDEO_DEVICES=test
  unset QT_QPA_PLATFORM GST_PLUGIN_PATH WAYLAND_DISPLAY
  # The suite's registry, scanned once by its warm-up; the program finds its
  # own plugin folder itself. In-process scanning, as the scanner helper
  # cannot load sanitized plugins.
  if [[ -f "$E2E_BUILD/gst-registry-test.bin" ]]; then
    export GST_REGISTRY="$E2E_BUILD/gst-registry-test.bin" GST_REGISTRY_UPDATE=no
  else
    export GST_REGISTRY="$E2E_ROOT/gst-registry.bin"  # a build without the tests
  fi
  export GST_REGISTRY_FORK=no
  # Libraries' own process-lifetime allocations are not ours to report.
  export LSAN_OPTIONS="suppressions=$E2E_HERE/lsan-suppressions.txt:print_suppressions=0"

  e2e_start_display
}

# A display of our own: Xvfb picks a free number and tells it on a pipe.
e2e_start_display() {
  local fifo="$E2E_ROOT/display"
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset 3>"$fifo" >"$E2E_ROOT/xvfb.log" 2>&1 &
  E2E_XVFB_PID=$!
  local number
  read -r -t "$E2E_TIMEOUT" number <"$fifo" || e2e_fail "Xvfb did not start"
  export DISPLAY=":$number"
  _display_up() { xdotool getdisplaygeometry >/dev/null 2>&1; }
  e2e_wait_for "the display $DISPLAY" _display_up
}

# The top-level windows of the program that are shown, one id per line.
e2e_windows() {
  xdotool search --onlyvisible --class kolvane 2>/dev/null || true
}

# e2e_find_window PATTERN: the first shown window of the program whose name
# matches the extended regular expression PATTERN.
e2e_find_window() {
  local window
  for window in $(e2e_windows); do
    if xdotool getwindowname "$window" 2>/dev/null | grep -Eq -- "$1"; then
      echo "$window"
      return 0
    fi
  done
  return 1
}

e2e_main_window_placed() {
  local window
  window=$(e2e_find_window '^Kolvane [0-9]') || return 1
  # Built off-screen; in its place once the splash has gone.
  xdotool getwindowgeometry "$window" | grep -q 'Position: 0,0' || return 1
  E2E_WINDOW=$window
}

# e2e_start: starts the built program and waits for its main window.
e2e_start() {
  "$E2E_BUILD/kolvane" >>"$E2E_ROOT/kolvane.log" 2>&1 &
  E2E_PID=$!
  e2e_wait_for "the main window in its place" e2e_main_window_or_exit
  e2e_park_pointer
  e2e_focus "$E2E_WINDOW"
}

e2e_main_window_or_exit() {
  kill -0 "$E2E_PID" 2>/dev/null || e2e_fail "the program ended at start"
  e2e_main_window_placed
}

# The pointer rests where hovering shows nothing, no highlight and no
# tooltip: the empty right end of the menu bar.
e2e_park_pointer() {
  local width
  width=$(xdotool getdisplaygeometry | cut -d' ' -f1)
  xdotool mousemove $((width - 2)) 2
}

e2e_focus() {
  xdotool windowfocus --sync "$1" 2>/dev/null ||
    e2e_wait_for "the focus on window $1" xdotool windowfocus --sync "$1"
}

# e2e_expect_icon: the main window carries what a desktop shows for it: the
# menu entry's window class and the program's icon in every size made of it.
e2e_expect_icon() {
  local class sizes
  class=$(xprop -id "$E2E_WINDOW" WM_CLASS 2>/dev/null)
  [[ "$class" == *'= "kolvane", "Kolvane"' ]] || e2e_fail "the window's class is: $class"
  sizes=$(xprop -len 2000000 -id "$E2E_WINDOW" _NET_WM_ICON 2>/dev/null |
          sed -nE 's/.*Icon \(([0-9]+) x ([0-9]+)\):.*/\1x\2/p' | tr '\n' ' ')
  [[ "$sizes" == "16x16 24x24 32x32 48x48 64x64 128x128 256x256 " ]] ||
    e2e_fail "the window's icon has the sizes [${sizes% }]"
}

e2e_title() {
  xdotool getwindowname "$E2E_WINDOW"
}

# e2e_title_of SCENE MARK IMAGES FRAMES SECONDS FPS: the title line's scene
# part as the program writes it.
e2e_title_of() {
  printf 'Scene: %s %s     %d images     %d frames (%s seconds at %d fps)' "$@"
}

# e2e_expect_title TEXT: waits until the title line holds TEXT.
e2e_expect_title() {
  local text=$1
  _title_has() { e2e_title | grep -Fq -- "$text"; }
  e2e_wait_for "the title to show '$text' (it shows '$(e2e_title)')" _title_has
}

# e2e_key KEY...: xdotool key names (F2, Return, ctrl+l) to the main window.
e2e_key() {
  e2e_focus "$E2E_WINDOW"
  xdotool key "$@"
}

# e2e_click X Y: a left click at a place of the main window given in
# thousandths of its width and height, so that it holds for any screen.
e2e_click() {
  local geometry width height
  geometry=$(xdotool getwindowgeometry "$E2E_WINDOW" | awk '/Geometry/{print $2}')
  width=${geometry%x*}
  height=${geometry#*x}
  xdotool mousemove $((width * $1 / 1000)) $((height * $2 / 1000)) click 1
  e2e_park_pointer
}

# e2e_click_in WINDOW X Y: a left click at X, Y thousandths of WINDOW's width
# and height (a dialog's controls keep their place in it for any font).
e2e_click_in() {
  local window=$1 geometry width height
  geometry=$(xdotool getwindowgeometry "$window" | awk '/Geometry/{print $2}')
  width=${geometry%x*}
  height=${geometry#*x}
  xdotool mousemove --window "$window" $((width * $2 / 1000)) $((height * $3 / 1000)) click 1
  e2e_park_pointer
}

# e2e_type WINDOW TEXT: TEXT typed into WINDOW, key by key.
e2e_type() {
  e2e_focus "$1"
  xdotool type --delay 20 -- "$2"
}

# e2e_dialog NAME: waits for the program's window named NAME; its id goes to
# E2E_DIALOG.
e2e_dialog() {
  local name=$1
  _dialog_up() { E2E_DIALOG=$(e2e_find_window "^$name\$"); }
  e2e_wait_for "the window '$name'" _dialog_up
}

# e2e_answer NAME KEY: answers the dialog NAME with KEY (Return is its first
# button, Escape its second) and waits until it has gone.
e2e_answer() {
  local name=$1 key=$2
  e2e_dialog "$name"
  e2e_focus "$E2E_DIALOG"
  xdotool key "$key"
  e2e_expect_gone "$name"
}

# e2e_expect_gone NAME [SECONDS]: waits until the window NAME has gone (a
# dialog that works before it closes may take SECONDS, E2E_TIMEOUT unless told).
e2e_expect_gone() {
  local name=$1 E2E_TIMEOUT=${2:-$E2E_TIMEOUT}
  _dialog_gone() { ! e2e_find_window "^$name\$" >/dev/null; }
  e2e_wait_for "the window '$name' to close" _dialog_gone
}

# e2e_close: the desktop's close request to the main window.
e2e_close() {
  e2e_close_window "$E2E_WINDOW"
}

# e2e_close_window WINDOW: the close request to WINDOW (its title bar's x).
e2e_close_window() {
  "$E2E_CLOSE" "$1" || e2e_fail "could not send the close request to window $1"
}

# e2e_expect_exit STATUS: waits for the program to end with STATUS.
e2e_expect_exit() {
  _ended() { ! kill -0 "$E2E_PID" 2>/dev/null; }
  e2e_wait_for "the program to end" _ended
  local status=0
  wait "$E2E_PID" || status=$?
  E2E_PID=
  [[ $status -eq $1 ]] || e2e_fail "the program ended with $status, not $1"
}

e2e_expect_running() {
  kill -0 "$E2E_PID" 2>/dev/null || e2e_fail "the program has ended"
}

# --- the screen ------------------------------------------------------------

# e2e_screenshot FILE: the whole screen as raw RGB, without the pointer.
e2e_screenshot() {
  gst-launch-1.0 -q ximagesrc num-buffers=1 show-pointer=false use-damage=false \
    ! videoconvert ! video/x-raw,format=RGB ! filesink location="$1" >/dev/null 2>&1
}

# e2e_screenshot_png FILE [WIDTH]: the screen as a PNG, scaled to WIDTH.
e2e_screenshot_png() {
  local scale=""
  [[ -n "${2:-}" ]] && scale="! videoscale ! video/x-raw,width=$2,pixel-aspect-ratio=1/1"
  # shellcheck disable=SC2086  # $scale is pipeline words
  gst-launch-1.0 -q ximagesrc num-buffers=1 show-pointer=false use-damage=false \
    ! videoconvert $scale ! pngenc compression-level=9 ! filesink location="$1" >/dev/null 2>&1
}

# e2e_wait_screen_changes FROM OUT: waits until the screen differs from the
# picture FROM and keeps it in OUT.
e2e_wait_screen_changes() {
  local from=$1 out=$2
  _changed() { e2e_screenshot "$out" && ! cmp -s "$from" "$out"; }
  e2e_wait_for "the screen to change from $(basename "$from")" _changed
}

# e2e_wait_screen_is PICTURE: waits until the screen shows PICTURE again.
e2e_wait_screen_is() {
  local picture=$1
  _same() { e2e_screenshot "$E2E_ROOT/now.rgb" && cmp -s "$picture" "$E2E_ROOT/now.rgb"; }
  e2e_wait_for "the screen to show $(basename "$picture") again" _same
}

# e2e_wait_screen_settles OUT: waits until two screenshots in a row agree
# (a work area without live video has finished drawing) and keeps it in OUT.
e2e_wait_screen_settles() {
  local out=$1
  e2e_screenshot "$out"
  _settled() {
    e2e_screenshot "$E2E_ROOT/now.rgb" || return 1
    cmp -s "$out" "$E2E_ROOT/now.rgb" && return 0
    mv "$E2E_ROOT/now.rgb" "$out"
    return 1
  }
  e2e_wait_for "the screen to settle" _settled
}

# e2e_show_area KEY OUT: shows a work area with its key until it looks the
# same after another press (pictures loaded in the background show at the
# area's next refresh) and keeps that picture in OUT.
e2e_show_area() {
  local key=$1 out=$2 before="$E2E_ROOT/area-before.rgb"
  e2e_key "$key"
  e2e_wait_screen_settles "$out"
  _area_stable() {
    cp "$out" "$before"
    e2e_key "$key"
    e2e_wait_screen_settles "$out"
    cmp -s "$before" "$out"
  }
  e2e_wait_for "the work area of $key to look the same after another $key" _area_stable
}

# e2e_wait_live_video: waits until the screen changes by itself, twice in a
# row, as it does once a moving live picture shows.
e2e_wait_live_video() {
  local a="$E2E_ROOT/live-a.rgb" b="$E2E_ROOT/live-b.rgb" c="$E2E_ROOT/live-c.rgb"
  e2e_screenshot "$a"
  _moving() {
    e2e_screenshot "$b" && ! cmp -s "$a" "$b" || return 1
    e2e_screenshot "$c" && ! cmp -s "$b" "$c" && return 0
    mv "$c" "$a"
    return 1
  }
  e2e_wait_for "the live video to run" _moving
}

# e2e_images_shown: the number of images the title line counts.
e2e_images_shown() {
  e2e_title | sed -nE 's/.* ([0-9]+) images .*/\1/p'
}

# e2e_grab_to COUNT: presses Enter in the Grabber, one grab a press, until
# the title counts COUNT images. A press before the live video runs grabs
# nothing (the user sees the still screen), so the video is waited for; a
# first press that still comes too early is repeated, but only after a long
# wait, so that a slow grab is never taken twice.
e2e_grab_to() {
  local count=$1 grab_folder
  grab_folder="$(e2e_working_root)/Grab"
  e2e_wait_live_video
  local start n
  start=$(e2e_images_shown)
  # A grab under way has written its picture before the title counts it.
  _grab_started() {
    (($(e2e_images_shown) > start)) ||
      [[ $(find "$grab_folder" -maxdepth 1 -name '*.png' | wc -l) -gt $start ]]
  }
  local deadline=$((SECONDS + 2 * E2E_TIMEOUT))
  until _grab_started; do
    ((SECONDS < deadline)) || e2e_fail "Enter grabs nothing (the title shows '$(e2e_title)')"
    e2e_key Return
    local settle=$((SECONDS + E2E_TIMEOUT / 2))
    until _grab_started || ((SECONDS >= settle)); do sleep 0.1; done
  done
  e2e_expect_title " $((start + 1)) images"
  for ((n = start + 2; n <= count; n++)); do
    e2e_key Return
    e2e_expect_title " $n images"
  done
}

# e2e_screen_column X: the pixels of the screen's column X, top to bottom, one
# "R G B" line each.
e2e_screen_column() {
  local raw="$E2E_ROOT/column.raw"
  gst-launch-1.0 -q ximagesrc num-buffers=1 startx="$1" endx="$1" show-pointer=false \
    use-damage=false ! videoconvert ! video/x-raw,format=RGBx ! filesink location="$raw" \
    >/dev/null 2>&1 || e2e_fail "could not take the screen's column $1"
  od -An -v -tu1 -w4 "$raw" | awk '{print $1, $2, $3}'
}

# e2e_expect_screen_stays PICTURE SECONDS: a change that must not happen can
# only be watched for a while; a slow program can make this miss a fault,
# never fail by itself.
e2e_expect_screen_stays() {
  local picture=$1 until=$((SECONDS + $2))
  while ((SECONDS < until)); do
    e2e_screenshot "$E2E_ROOT/now.rgb"
    cmp -s "$picture" "$E2E_ROOT/now.rgb" || e2e_fail "the screen changed from $(basename "$picture")"
    sleep 0.2
  done
}

# --- the working scene -----------------------------------------------------

e2e_working_root() {
  echo "$XDG_DATA_HOME/Brevanta/Kolvane"
}

# e2e_make_images FOLDER NAME COUNT: COUNT small test pictures "NAME 0001.png"...
e2e_make_images() {
  local folder=$1 name=$2 count=$3 n
  mkdir -p "$folder"
  for ((n = 1; n <= count; n++)); do
    gst-launch-1.0 -q videotestsrc num-buffers=1 pattern=$((n % 20)) \
      ! video/x-raw,width=320,height=240 ! pngenc \
      ! filesink location="$(printf '%s/%s %04d.png' "$folder" "$name" "$n")" >/dev/null 2>&1 ||
      e2e_fail "could not make the test pictures"
  done
}

# e2e_expect_files FOLDER NAME...: FOLDER holds exactly the files NAME...
e2e_expect_files() {
  local folder=$1
  shift
  local want have
  want=$(printf '%s\n' "$@" | sort)
  have=$(cd "$folder" 2>/dev/null && find . -maxdepth 1 -type f ! -name '.*' -printf '%f\n' | sort)
  [[ "$want" == "$have" ]] ||
    e2e_fail "$folder holds [${have//$'\n'/, }], not [${want//$'\n'/, }]"
}
