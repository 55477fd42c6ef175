#!/usr/bin/env bash
# `make run`'s game folder, made by the Makefile's own rules from a small assets/ of its own: it is
# seeded with the pictures, sounds and save; a player's save and log survive the next run while
# changed pictures reach the folder; assets/ is never written; a lost save is seeded again.
# Usage: game_folder_test.sh MAKEFILE
set -u
makefile=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

passed=0
failed=0
check() {  # check DESCRIPTION COMMAND...
  if "${@:2}"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $1"; fi
}
same() { cmp -s "$1" "$2"; }
# A make of its own, not a part of the make that may have started the tests.
fill_game_folder() { env -u MAKEFLAGS -u MFLAGS -u MAKELEVEL make -s -f "$makefile" game-folder; }

mkdir assets
printf 'picture' > assets/pylonrush01.png
printf 'sound' > assets/pylonrush11.mp3
printf '\0\0\0\0\0\0\0\0\0\0\0\0' > assets/pylonrush21.dat
printf 'an old run' > assets/Log.txt  # Left by a run in assets/ before there was a game folder
cp -a assets committed

check "the first run seeds the folder" fill_game_folder
for f in pylonrush01.png pylonrush11.mp3 pylonrush21.dat; do
  check "$f is seeded" same assets/$f build/game/$f
done
check "a log in assets/ is not seeded" test ! -e build/game/Log.txt

# A game is played: the save and the log change in the folder. Then the artwork is remade.
printf '\x39\x30\0\0\0\0\0\0\0\0\0\0' > build/game/pylonrush21.dat
printf 'this run' > build/game/Log.txt
cp build/game/pylonrush21.dat played.dat
touch -d '2000-01-01' build/game/pylonrush01.png
printf 'new picture' > assets/pylonrush01.png
cp assets/pylonrush01.png committed/

check "the next run fills the folder again" fill_game_folder
check "the player's save is kept" same played.dat build/game/pylonrush21.dat
check "the player's log is kept" test "$(cat build/game/Log.txt)" = "this run"
check "a remade picture reaches the folder" same assets/pylonrush01.png build/game/pylonrush01.png
check "assets/ is as committed" diff -r assets committed

rm build/game/pylonrush21.dat
check "a run after the save was lost" fill_game_folder
check "the initial save is seeded again" same assets/pylonrush21.dat build/game/pylonrush21.dat

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
