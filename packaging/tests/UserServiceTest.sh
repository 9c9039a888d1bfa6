#!/usr/bin/env bash
# Unpacks the package into a temporary root and checks its systemd user unit: where it is, what it
# starts, and that `systemd-analyze verify` accepts it without a word. systemd 252 cannot verify a user
# unit under --root (it finds no search paths for the user's manager there), so a copy of the unit whose
# ExecStart points into the root is verified instead; the manual page that Documentation= names is
# looked up in the root through MANPATH. No running service manager is needed. Argument: the .deb file.
set -euo pipefail
deb=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

root=$work/root
dpkg -x "$deb" "$root"
unit=$root/usr/lib/systemd/user/zelkor-scheduler.service
[ -f "$unit" ] || fail "/usr/lib/systemd/user/zelkor-scheduler.service is not in the package"
grep -qx 'ExecStart=/usr/bin/zelkor-scheduler --background' "$unit" ||
    fail "the unit does not start /usr/bin/zelkor-scheduler --background"
grep -qx 'Restart=on-failure' "$unit" || fail "the unit is not restarted on failure"
grep -qx 'WantedBy=default.target' "$unit" || fail "the unit is not started with the user's manager"
# A lingering user has no graphical session: a unit bound to one would never start.
! grep -q 'graphical-session' "$unit" || fail "the unit waits for a graphical session"

mkdir "$work/check" "$work/run"
chmod 700 "$work/run"
sed "s|^ExecStart=/|ExecStart=$root/|" "$unit" > "$work/check/zelkor-scheduler.service"
status=0
output=$(XDG_RUNTIME_DIR=$work/run MANPATH=$root/usr/share/man \
    systemd-analyze --user verify "$work/check/zelkor-scheduler.service" 2>&1) || status=$?
[ "$status" -eq 0 ] || fail "systemd-analyze verify failed with $status: $output"
# Unknown keys and sections are only warned about, with success.
[ -z "$output" ] || fail "systemd-analyze verify warned: $output"
echo "The package's user unit passes systemd-analyze verify."
