#!/usr/bin/env bash
# A program outside the tree on the installed library: `cmake --install` of this build into a
# folder of the test's own, examples/ configured on its own against it (find_package(Zyvel),
# Zyvel::zyvel, no header from the source tree) and built, then run under Xvfb: its window shows
# the picture and the line of text (so the PNG, the WAV and the font loaded), and Escape ends it
# with exit code 0.
# Usage: install_test.sh BUILD_DIR SOURCE_DIR
set -u
build=$(realpath "$1")
source=$(realpath "$2")
work=$(mktemp -d)
xvfb=0
program=0
display=""

finish() {
  [ -n "$display" ] && DISPLAY=$display timeout 10 xdotool keyup Escape 2>/dev/null
  if [ "$program" -gt 0 ]; then kill -KILL "$program" 2>/dev/null; wait "$program" 2>/dev/null; fi
  if [ "$xvfb" -gt 0 ]; then kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null; fi
  rm -rf "$work"
}
trap finish EXIT

fail() {
  echo "FAILED: $1"
  [ $# -gt 1 ] && [ -f "$2" ] && cat "$2"
  echo "0 passed, 1 failed"
  exit 1
}

# Runs a check up to `tries` times, a tenth of a second apart, until it passes.
poll() {  # poll TRIES COMMAND...
  local tries=$1
  shift
  for ((i = 0; i < tries; i++)); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

cmake --install "$build" --prefix "$work/zyvel" > "$work/install.log" 2>&1 ||
  fail "cmake --install" "$work/install.log"
# Each public header stands alone in a C++17 program. runtime.h holds only the runtime: a program
# may use the window's, the input's and the files' names for its own when it includes no more; the
# screens' draw targets come with graphics.h.
for header in "$work"/zyvel/include/zyvel/*.h; do
  echo "#include \"zyvel/$(basename "$header")\"" | c++ -std=c++17 -fsyntax-only -I"$work/zyvel/include" -x c++ - \
    > "$work/header.log" 2>&1 || fail "zyvel/$(basename "$header") does not compile alone" "$work/header.log"
done
c++ -std=c++17 -fsyntax-only -I"$work/zyvel/include" -x c++ - > "$work/header.log" 2>&1 <<'PROGRAM' ||
#include "zyvel/runtime.h"
int GetMainWindow, InitializeLibrary, IsKeyDown, GetClipboardText, InstallFileFunctions, StreamFileOpen;
PROGRAM
  fail "zyvel/runtime.h declares names of the window, the input or the files" "$work/header.log"
c++ -std=c++17 -fsyntax-only -I"$work/zyvel/include" -x c++ - > "$work/header.log" 2>&1 <<'PROGRAM' ||
#include "zyvel/graphics.h"
static_assert(SCREEN_BACK == -2 && SCREEN_FRONT == -4, "the screens' draw targets");
PROGRAM
  fail "zyvel/graphics.h does not name the screens' draw targets" "$work/header.log"

cmake -S "$source/examples" -B "$work/example" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_PREFIX_PATH="$work/zyvel" > "$work/configure.log" 2>&1 ||
  fail "the example does not configure against the installed package" "$work/configure.log"
cmake --build "$work/example" > "$work/build.log" 2>&1 ||
  fail "the example does not build against the installed package" "$work/build.log"
if grep -qE "$source/(library|platform)/" "$work/example/build.ninja"; then
  fail "the example reaches into the source tree"
fi

# A display of the test's own.
Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp 3> "$work/display" 2> /dev/null &
xvfb=$!
display_known() { grep -q . "$work/display"; }
poll 300 display_known || fail "Xvfb did not start"
display=":$(head -n 1 "$work/display")"

# The library keeps a lock file per program in XDG_RUNTIME_DIR; another copy running on this
# machine must not count.
(cd "$work/example" && exec env DISPLAY="$display" SDL_AUDIODRIVER=dummy XDG_RUNTIME_DIR="$work" \
  ./hello_zyvel > "$work/output.txt" 2>&1) &
program=$!

window=""
find_window() {
  kill -0 "$program" 2> /dev/null || fail "the example ended before its window opened" "$work/example/Log.txt"
  window=$(DISPLAY=$display xdotool search --name '^Hello Zyvel$' 2> /dev/null | head -n 1)
  [ -n "$window" ]
}
poll 600 find_window || fail "no window"

# The picture pixel for pixel where the example draws it, and some light pixel in the text's line.
picture_rgb=$(convert "$source/examples/hello_zyvel.png" -depth 8 rgb:- | md5sum)
shows_picture_and_text() {
  DISPLAY=$display import -window "$window" "$work/shot.png" 2> /dev/null || return 1
  [ "$(convert "$work/shot.png" -crop 96x96+152+40 -depth 8 rgb:- | md5sum)" = "$picture_rgb" ] &&
    [ "$(convert "$work/shot.png" -crop 352x20+24+176 -format '%[fx:maxima.r > 0.5]' info:)" = 1 ]
}
poll 300 shows_picture_and_text || fail "the window does not show the picture and the text"

DISPLAY=$display timeout 10 xdotool windowfocus --sync "$window" keydown Escape 2> /dev/null
ended() { ! kill -0 "$program" 2> /dev/null; }
poll 600 ended || fail "Escape did not end the example"
wait "$program"
status=$?
program=0
[ "$status" -eq 0 ] || fail "the example ended with $status" "$work/example/Log.txt"

echo "1 passed, 0 failed"
