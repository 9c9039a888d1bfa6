#!/usr/bin/env bash
# How long the scheduler takes to end after "Выход" in its tray menu, under X11 as a desktop user has it:
# Xvfb, the openbox window manager and the trayer tray host. For each start the tray menu is opened with
# a right click on the icon and "Выход" is chosen with a mouse click (or, with EXIT_BY=keys, with the
# keyboard); the time runs from the moment xdotool has sent the click to the end of the process (xdotool
# itself takes about 100 ms to move the pointer and click, shown apart). Prints one line per start and the
# medians. A SIGTERM to the same program is timed the same way for comparison.
#
#   bench/exit_time.sh [starts, default 7]
#
# Uses the dev build (ZELKOR_EXE overrides it) and Debian's xvfb, openbox, trayer, xdotool and
# imagemagick; CI does not run it.
set -euo pipefail
cd "$(dirname "$0")/.."
exe=$(realpath "${ZELKOR_EXE:-build/dev/bin/zelkor-scheduler}")
starts=${1:-7}
for tool in Xvfb openbox trayer xdotool; do
    command -v "$tool" > /dev/null || { echo "missing $tool" >&2; exit 1; }
done

source scripts/program-home.sh
export QT_LOGGING_RULES="zelkor.debug=false"

export DISPLAY=:${EXIT_DISPLAY:-88}
Xvfb "$DISPLAY" -screen 0 1280x800x24 -nolisten tcp > /dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do xdotool getdisplaygeometry > /dev/null 2>&1 && break; sleep 0.1; done
openbox > /dev/null 2>&1 &
pids+=($!)
sleep 0.5
trayer --edge top --align right --widthtype request --height 28 --SetDockType true > /dev/null 2>&1 &
pids+=($!)
sleep 1

# The tray host lays the program's icon out as a window named after the application.
icon_window() {
    for _ in $(seq 100); do
        for id in $(xdotool search --onlyvisible --name "" 2> /dev/null); do
            [ "$(xdotool getwindowname "$id" 2> /dev/null)" = ZelkorScheduler ] && { echo "$id"; return; }
        done
        sleep 0.1
    done
    return 1
}

now() { date +%s%N; }

# Milliseconds from $1 (ns) until process $2 has ended (a zombie counts as ended).
wait_end() {
    while [ -d "/proc/$2" ] && ! grep -q '^State:.*Z' "/proc/$2/status" 2> /dev/null; do sleep 0.001; done
    echo $((($(now) - $1) / 1000000))
}

median() { sort -n | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}'; }

menu=() term=()
for i in $(seq "$starts"); do
    "$exe" > /dev/null 2>&1 &
    program=$!
    icon=$(icon_window)
    sleep 1
    eval "$(xdotool getwindowgeometry --shell "$icon")"
    xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 3
    sleep 0.7
    if [ "${EXIT_BY:-mouse}" = keys ]; then
        start=$(now)
        xdotool key Up Return
        sent=$(now)
    else
        # The menu opened under the pointer; "Выход" is its last entry.
        eval "$(xdotool getwindowgeometry --shell "$(xdotool getmouselocation --shell | sed -n 's/^WINDOW=//p')")"
        start=$(now)
        xdotool mousemove $((X + 40)) $((Y + HEIGHT - 12)) click 1
        sent=$(now)
    fi
    ms=$(wait_end "$sent" "$program")
    wait "$program" || true
    menu+=("$ms")
    echo "start $i: Выход sent to process end $ms ms (xdotool took $(((sent - start) / 1000000)) ms)"

    "$exe" > /dev/null 2>&1 &
    program=$!
    icon_window > /dev/null
    sleep 1
    start=$(now)
    kill -TERM "$program"
    ms=$(wait_end "$start" "$program")
    wait "$program" || true
    term+=("$ms")
done
echo "median of $starts: Выход $(printf '%s\n' "${menu[@]}" | median) ms, SIGTERM $(printf '%s\n' "${term[@]}" | median) ms"
