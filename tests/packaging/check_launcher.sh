#!/usr/bin/env bash
# Runs the installed desktop entry's Exec line on two dropped pictures in a
# tmux pane (a UTF-8 pseudo-terminal, as a desktop terminal is) and reads the
# screen: the report must be readable Chinese, and the program must wait at
# its pause until one key is pressed.
# Usage: check_launcher.sh UNPACKED_USR_DIR SOURCE_DIR
set -euo pipefail
root=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
work=$(mktemp -d)
sock=$work/tmux.sock
term() { env -u TMUX LC_ALL=C.UTF-8 tmux -S "$sock" "$@"; }
trap 'term kill-server 2> /dev/null || true; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; [ -S "$sock" ] && term capture-pane -p -J -t launcher >&2 || true; exit 1; }
# Polls COMMAND... every 0.2 s for up to SECONDS.
wait_for() {
  local deadline=$((SECONDS + $1)); shift
  until "$@"; do [ $SECONDS -lt $deadline ] || return 1; sleep 0.2; done
}
command -v tmux > /dev/null || fail "tmux is not installed (tools/install-deps.sh)"

exec_line=$(sed -n 's/^Exec=//p' "$root/share/applications/repng.desktop")
[ "$(grep -o '%F' <<<"$exec_line" | wc -l)" -eq 1 ] || fail "Exec line needs one %F: $exec_line"

# What a file manager drops: a picture repng shrinks, under a Chinese name
# with a space, and one it has already made as small as it can.
mkdir "$work/drop"
cp "$src/samples/landscape.bmp" "$work/drop/风景 1.bmp"
cp "$src/samples/glow.png" "$work/drop/done.png"
"$root/bin/repng" "$work/drop/done.png" < /dev/null > /dev/null || true
quote() { printf "'%s'" "${1//\'/\'\\\'\'}"; }
files="$(quote "$work/drop/风景 1.bmp") $(quote "$work/drop/done.png")"
# tmux hands the command to sh -c, with the client's PATH; exec keeps the
# launcher as the pane's process, and the pane stays after it to be looked at.
PATH="$root/bin:$PATH" term set-option -g remain-on-exit on \; \
  new-session -d -s launcher -x 220 -y 20 -e LANG=C.UTF-8 -e LC_ALL= "exec ${exec_line/\%F/$files}"

screen() { term capture-pane -p -J -t launcher; }
pane() { term list-panes -t launcher -F "#{$1}"; }
dead() { [ "$(pane pane_dead)" = 1 ]; }
prompted() { shown=$(screen); grep -q '^请按任意键继续\. \. \.$' <<<"$shown"; }
wait_for 90 prompted || fail "no pause prompt on screen"
! dead || fail "repng ended at the pause without a key"
size='[0-9]+(\.[0-9]{2}K|字节)'
grep -qE "^$work/drop/风景 1\.bmp，原大小：187\.55K，新大小：$size。\$" <<<"$shown" || fail "shrunk file's line"
grep -qE "^$work/drop/done\.png，原大小：$size，不处理。\$" <<<"$shown" || fail "unchanged file's line"
[ "$(grep -c . <<<"$shown")" -eq 3 ] || fail "more than two lines and the prompt"

# Still there at the pause, reading the terminal itself.
child=$(ps -o pid= --ppid "$(pane pane_pid)" | tr -d ' ')
[ -n "$child" ] && [ "$(ps -o comm= -p "$child")" = repng ] || fail "repng is not running under the launcher"
[[ $(readlink "/proc/$child/fd/0") == /dev/pts/* ]] || fail "repng's input is not a terminal"
! wait_for 2 dead || fail "repng left the pause without a key"

# One key, no Enter, ends it.
term send-keys -t launcher x
wait_for 30 dead || fail "repng still waiting after a key"
! ps -p "$child" > /dev/null || fail "repng still there after the launcher ended"
echo "launcher ok"
