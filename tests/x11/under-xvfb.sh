#!/bin/sh
# Runs a command on an X server of its own: Xvfb picks a free display itself (-displayfd), so
# parallel runs never share one, as xvfb-run -a can when two start at the same moment. No reset
# when the last client leaves: a test that connects just then would be refused.
set -eu
dir=$(mktemp -d)
trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null; rm -rf "$dir"' EXIT INT TERM
mkfifo "$dir/display"
Xvfb -displayfd 3 -screen 0 1920x1200x24 -nolisten tcp -noreset 3>"$dir/display" 2>"$dir/log" &
server=$!
read -r number <"$dir/display" || { cat "$dir/log" >&2; exit 1; }
DISPLAY=":$number" "$@"
