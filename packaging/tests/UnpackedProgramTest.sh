#!/usr/bin/env bash
# Unpacks the package into a temporary root as dpkg would install it, checks its layout, its desktop
# entry and AppStream data, and starts the program from there without a display: it must find its
# folder through the link in bin/, load Qt's Russian texts, run a task due a few seconds after it
# started, and exit with 0 on SIGTERM. Argument: the .deb file.
set -euo pipefail
deb=$1
root=$(mktemp -d)
trap 'kill "${pid:-}" 2>/dev/null || true; rm -rf "$root"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

dpkg -x "$deb" "$root"
root=$(realpath "$root")
program_dir=$root/usr/lib/zelkor-scheduler
metainfo=$root/usr/share/metainfo/ru.zelkor_vostal.ZelkorScheduler.metainfo.xml
entry=$root/usr/share/applications/zelkor-scheduler.desktop
for file in "$program_dir/zelkor-scheduler" "$program_dir/Help/index.html" "$program_dir/Help/style.css" \
    "$entry" "$metainfo" "$root/usr/share/doc/zelkor-scheduler/copyright" \
    "$root/usr/share/doc/zelkor-scheduler/changelog.gz" "$root/usr/share/man/man1/zelkor-scheduler.1.gz"; do
    [ -f "$file" ] || fail "${file#"$root"} is not in the package"
done
for size in 16 22 24 32 48 64 128 256; do
    [ -f "$root/usr/share/icons/hicolor/${size}x$size/apps/zelkor-scheduler.png" ] || fail "no $size px icon"
done
[ "$(readlink "$root/usr/bin/zelkor-scheduler")" = ../lib/zelkor-scheduler/zelkor-scheduler ] ||
    fail "/usr/bin/zelkor-scheduler is not a relative link to the program"
grep -qx 'Exec=/usr/bin/zelkor-scheduler' "$entry" || fail "the desktop entry does not start /usr/bin/zelkor-scheduler"
desktop-file-validate "$entry"
# With the network checks: every URL the data names must be reachable, so it names none it cannot back.
appstreamcli validate "$metainfo"

# Qt's Russian texts are the Qt package's file; it is put where that dependency installs it.
qt_texts=$root/usr/share/qt5/translations/qtbase_ru.qm
mkdir -p "$(dirname "$qt_texts")"
cp /usr/share/qt5/translations/qtbase_ru.qm "$qt_texts"
[ "$(realpath "$program_dir/translations/qtbase_ru.qm")" = "$qt_texts" ] ||
    fail "translations/qtbase_ru.qm does not lead to Qt's texts in the same root"

# A user of its own, no display, and one command task due four seconds from now.
export HOME=$root/home XDG_DATA_HOME=$root/home/data XDG_CACHE_HOME=$root/home/cache \
    XDG_CONFIG_HOME=$root/home/config XDG_RUNTIME_DIR=$root/home/run
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
mkdir -p "$XDG_DATA_HOME/Zelkor-Vostal/ZelkorScheduler" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
marker=$HOME/task-ran
cat > "$XDG_DATA_HOME/Zelkor-Vostal/ZelkorScheduler/storage.xml" <<XML
<?xml version="1.0" encoding="utf-8"?>
<config>
	<tasks>
		<task>
			<name>Проба</name>
			<description/>
			<starting_point>$(($(date +%s) + 4))0000000</starting_point>
			<run_only_on_working_days>false</run_only_on_working_days>
			<trigger>
				<type>daily</type>
				<repeat_interval>1</repeat_interval>
			</trigger>
			<action>
				<type>command</type>
				<executable>/usr/bin/touch</executable>
				<arguments>$marker</arguments>
				<working_directory>$HOME</working_directory>
			</action>
		</task>
	</tasks>
</config>
XML

"$root/usr/bin/zelkor-scheduler" 2> "$root/stderr" &
pid=$!
for _ in $(seq 300); do
    [ -e "$marker" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
[ -e "$marker" ] || { cat "$root/stderr" >&2; fail "the task did not run within 30 seconds"; }
grep -q 'Начало выполнения задания' "$XDG_CACHE_HOME/Zelkor-Vostal/ZelkorScheduler/Проба.log" ||
    fail "the task's log has no start line"
grep -qF "program folder $program_dir, Qt's Russian texts loaded" "$root/stderr" ||
    { cat "$root/stderr" >&2; fail "the program did not find its folder or Qt's Russian texts"; }
kill -TERM "$pid"
status=0
wait "$pid" || status=$?
pid=
[ "$status" -eq 0 ] || fail "the program exited with $status on SIGTERM"
echo "The unpacked package runs headless: folder, texts, help, a timed task and SIGTERM checked."
