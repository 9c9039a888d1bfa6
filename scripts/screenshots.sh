#!/usr/bin/env bash
# Screenshots of the scheduler as a user sees it, taken under Xvfb: the main window with a few tasks
# (one of them paused) beside a tray host, the tray menu, the window and its settings menu without a
# tray, and every page of the task wizard for each action kind and the options dialog of its schedule
# page, with a folder repository to browse and a connection that fails; the list with the status of runs
# read from prepared task logs, the log window on a failed export, the notice of a failed run, the run
# history of a nightly backup, the schedule page's next runs across a daylight-saving change (the program
# runs in Europe/Berlin time), the settings window and its message on turning background runs on, and the
# warning about a damaged storage file. The program runs with its user folders in a temporary folder,
# never the caller's.
#
#   scripts/screenshots.sh [output folder, default build/screenshots]
#
# Uses the dev build's executable (ZELKOR_EXE overrides it), the sqlite3 shell (from scripts/install-deps.sh)
# for the run history, and Debian's xvfb, trayer (an XEmbed tray host), xdotool and imagemagick; CI does
# not run it, so scripts/install-deps.sh does not install them:
#   apt-get install xvfb trayer xdotool imagemagick
set -euo pipefail
[ -n "${SCREENSHOT_TRACE:-}" ] && set -x
cd "$(dirname "$0")/.."

exe=$(realpath "${ZELKOR_EXE:-build/dev/bin/zelkor-scheduler}")
out=$(realpath -m "${1:-build/screenshots}")
for tool in Xvfb trayer xdotool import; do
    command -v "$tool" > /dev/null || { echo "missing $tool (see the top of $0)" >&2; exit 1; }
done
[ -x "$exe" ] || { echo "build the program first: cmake --build --preset dev" >&2; exit 1; }
mkdir -p "$out"

source scripts/program-home.sh
mkdir -p "$XDG_DATA_HOME/Zelkor-Vostal/ZelkorScheduler"
export LANG=${SCREENSHOT_LANG:-C.UTF-8}
export TZ=Europe/Berlin

# Four tasks, one of each schedule the list describes; the first run of each is a day away or more.
start=$(( ($(date +%s) + 86400) * 10000000 ))
# A daily task from the Saturday before next year's change to summer time, and one that runs for long.
year=$(( $(date +%Y) + 1 ))
change=$(date -d "$year-03-31 -$(date -d "$year-03-31" +%w) days" +%F)
dst_start=$(( $(date -d "$(date -d "$change -1 day" +%F) 09:30" +%s) * 10000000 ))
cat > "$XDG_DATA_HOME/Zelkor-Vostal/ZelkorScheduler/storage.xml" <<XML
<?xml version="1.0" encoding="utf-8"?>
<config>
	<tasks>
		<task>
			<name>Резервная копия проектов</name>
			<description>Каждый рабочий день в папку на сервере</description>
			<starting_point>$start</starting_point>
			<run_only_on_working_days>true</run_only_on_working_days>
			<trigger><type>daily</type><repeat_interval>1</repeat_interval></trigger>
			<action>
				<type>backup</type>
				<connection_id>9b2f4c1e-1d2a-4c3b-8e5f-0a1b2c3d4e5f</connection_id>
				<source_path>arkon://Проекты/Объект 1</source_path>
				<destination_path>/srv/backup</destination_path>
			</action>
		</task>
		<task>
			<name>Экспорт DXF</name>
			<description/>
			<starting_point>$start</starting_point>
			<run_only_on_working_days>false</run_only_on_working_days>
			<trigger><type>weekly</type><repeat_interval>2</repeat_interval>
				<weekdays><weekday>1</weekday><weekday>3</weekday><weekday>5</weekday></weekdays></trigger>
			<action>
				<type>export</type>
				<connection_id>9b2f4c1e-1d2a-4c3b-8e5f-0a1b2c3d4e5f</connection_id>
				<output_path>/srv/export</output_path>
				<project_path>arkon://Проекты/Объект 1</project_path>
				<only_changed_documents>true</only_changed_documents>
				<format>DXF</format>
			</action>
		</task>
		<task>
			<name>Очистка временных файлов</name>
			<description/>
			<starting_point>$start</starting_point>
			<run_only_on_working_days>false</run_only_on_working_days>
			<trigger><type>daily</type><repeat_interval>21</repeat_interval></trigger>
			<action>
				<type>command</type>
				<executable>/usr/bin/find</executable>
				<arguments>/tmp/zelkor -mtime +7 -delete</arguments>
				<working_directory>/tmp</working_directory>
			</action>
			<options>
				<paused>true</paused>
				<retry_count>3</retry_count>
				<retry_interval_seconds>90</retry_interval_seconds>
				<only_when_folders_available>true</only_when_folders_available>
				<only_on_mains_power>false</only_on_mains_power>
			</options>
		</task>
		<task>
			<name>Проверка модели по IDS</name>
			<description/>
			<starting_point>$start</starting_point>
			<run_only_on_working_days>false</run_only_on_working_days>
			<trigger><type>weekly</type><repeat_interval>1</repeat_interval>
				<weekdays><weekday>0</weekday><weekday>6</weekday></weekdays></trigger>
			<action>
				<type>check</type>
				<ids_file>/srv/rules.ids</ids_file>
				<ids_file_mode>true</ids_file_mode>
				<ifc_file>/srv/models</ifc_file>
				<ifc_file_mode>false</ifc_file_mode>
				<only_changed_documents>true</only_changed_documents>
			</action>
		</task>
		<task>
			<name>Экспорт IFC</name>
			<description/>
			<starting_point>$start</starting_point>
			<run_only_on_working_days>false</run_only_on_working_days>
			<trigger><type>daily</type><repeat_interval>7</repeat_interval></trigger>
			<action>
				<type>export</type>
				<connection_id>5d0c7a3b-6e1f-4a2b-9c8d-7e6f5a4b3c2d</connection_id>
				<output_path>/srv/ifc</output_path>
				<project_path>arkon://Старый сервер/Модели</project_path>
				<only_changed_documents>false</only_changed_documents>
				<format>IFC</format>
				<ifc_version>4.3</ifc_version>
				<ifc_mapping_code>IFC-7</ifc_mapping_code>
				<ifc_mapping_name>Маппинг по умолчанию</ifc_mapping_name>
			</action>
		</task>
		<task>
			<name>Ежедневный отчёт</name>
			<description/>
			<starting_point>$dst_start</starting_point>
			<run_only_on_working_days>false</run_only_on_working_days>
			<trigger><type>daily</type><repeat_interval>1</repeat_interval></trigger>
			<action>
				<type>command</type>
				<executable>/usr/bin/true</executable>
				<arguments/>
				<working_directory>/tmp</working_directory>
			</action>
		</task>
		<task>
			<name>Долгая выгрузка</name>
			<description/>
			<starting_point>$start</starting_point>
			<run_only_on_working_days>false</run_only_on_working_days>
			<trigger><type>daily</type><repeat_interval>1</repeat_interval></trigger>
			<action>
				<type>command</type>
				<executable>/bin/sleep</executable>
				<arguments>120</arguments>
				<working_directory>/tmp</working_directory>
			</action>
		</task>
	</tasks>
</config>
XML

# Logs of earlier runs, as the engine writes them, for the status columns: a backup that left out a
# document it could not read, a command that succeeded, an export that failed, a check stopped by the time limit, a missed run. The daily report has
# never run; the long task is started below.
logs=$XDG_CACHE_HOME/Zelkor-Vostal/ZelkorScheduler
mkdir -p "$logs"
stamp() { date -d "$1" '+%d.%m.%Y %H:%M:%S'; }
next_run() { date -d "$1" '+%d.%m.%Y в %H:%M:%S'; }
run_lines() { # when, lines...
    local when=$1
    shift
    echo "$(stamp "$when") Начало выполнения задания."
    for line in "$@"; do echo "$(stamp "$when +5 seconds") $line"; done
    echo "$(stamp "$when +6 seconds") Завершение выполнения задания. Следующий запуск: $(next_run "$when +1 day")."
}
{
    run_lines "-44 hours" "Резервное копирование завершено: скопировано документов: 14 (3,0 МБ)."
    run_lines "-20 hours" "Резервное копирование завершено с предупреждениями: скопировано документов: 2 (1,1 МБ), \
пропущено: 1 (не прочитаны: «Смета.xlsx»)."
} > "$logs/Резервная копия проектов.log"
{
    run_lines "-14 days" "Задание успешно выполнено." "Задание успешно выполнено."
    run_lines "-9 hours" "Задание успешно выполнено." "Задание не выполнено:" \
        "Ошибка: не удалось открыть документ «план.dxf»: файл занят другой программой" \
        "Экспорт прерван на документе 2 из 3"
} > "$logs/Экспорт DXF.log"
run_lines "-200 hours" "Программа завершилась с кодом 0." > "$logs/Очистка временных файлов.log"
run_lines "-30 hours" "Задание не выполнено:" "Превышено время выполнения (14400 с), программа остановлена." \
    > "$logs/Проверка модели по IDS.log"
{
    run_lines "-170 hours" "Задание успешно выполнено."
    echo "$(stamp "-1 hour") Пропущен запуск: $(next_run "-26 hours") (программа не работала)."
} > "$logs/Экспорт IFC.log"

# A folder repository for the connection "Проекты", and a connection whose folder is gone.
repo=$work/repository
mkdir -p "$repo/Объект 1/Разделы/АР" "$repo/Объект 1/Разделы/КР" "$repo/Объект 2" "$repo/Архив"
printf '0\nEOF\n' > "$repo/Объект 1/план.dxf"
mkdir -p "$XDG_DATA_HOME/Zelkor-Vostal/ZelkorIII_2013"
cat > "$XDG_DATA_HOME/Zelkor-Vostal/ZelkorIII_2013/ConnectionsConfig.xml" <<XML
<?xml version="1.0" encoding="utf-8"?>
<config>
	<connections_manager>
		<connections>
			<connection>
				<id>9b2f4c1e-1d2a-4c3b-8e5f-0a1b2c3d4e5f</id>
				<name>Проекты</name>
				<server>$repo</server>
				<database></database>
			</connection>
			<connection>
				<id>5d0c7a3b-6e1f-4a2b-9c8d-7e6f5a4b3c2d</id>
				<name>Старый сервер</name>
				<server>$work/gone</server>
				<database></database>
			</connection>
		</connections>
	</connections_manager>
</config>
XML

export DISPLAY=:${SCREENSHOT_DISPLAY:-87}
Xvfb "$DISPLAY" -screen 0 1280x800x24 -nolisten tcp > "$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do xdotool getdisplaygeometry > /dev/null 2>&1 && break; sleep 0.1; done

# Waits for a visible window whose title is $1 and prints its id (the newest when several are).
window() {
    for _ in $(seq 100); do
        local found=""
        for id in $(xdotool search --onlyvisible --name "" 2> /dev/null); do
            [ "$(xdotool getwindowname "$id" 2> /dev/null)" = "$1" ] && found=$id
        done
        [ -n "$found" ] && { echo "$found"; return; }
        sleep 0.1
    done
    echo "no window \"$1\"" >&2
    return 1
}

shot() { # window id or "root", file name
    sleep 0.5
    import -window "$1" "$out/$2"
    echo "$out/$2"
}

key() { # window id, keys...
    local id=$1
    shift
    xdotool mousemove --window "$id" 5 5 windowfocus --sync "$id" key --clearmodifiers "$@"
}

open_task() { # the y position of the task's row in the main window; sets $wizard to its editor
    xdotool mousemove --window "$main" 60 "$1" click --repeat 2 --delay 80 1
    wizard=$(window "Изменение задачи")
}

# Stand-ins for systemctl and loginctl first on the program's search path: the settings window turns its
# background runs on without asking the machine's service manager.
mkdir -p "$work/bin"
cat > "$work/bin/systemctl" <<'SH'
#!/bin/sh
case "$*" in
*is-enabled*) if [ -e "${0%/*}/enabled" ]; then echo enabled; exit 0; fi; echo disabled; exit 1;;
*" enable "*) : > "${0%/*}/enabled";;
*" disable "*) rm -f "${0%/*}/enabled";;
esac
SH
printf '#!/bin/sh\n[ "$1" = show-user ] && echo no\nexit 0\n' > "$work/bin/loginctl"
chmod +x "$work/bin/systemctl" "$work/bin/loginctl"

start_program() {
    PATH=$work/bin:$PATH "$exe" > "$work/program.log" 2>&1 &
    program=$!
    pids+=("$program")
}

stop_program() {
    kill -TERM "$program"
    wait "$program" || true
}

# With a tray host: the window, the whole screen with the tray, the tray menu, the wizard's pages.
trayer --edge top --align right --widthtype request --height 28 --SetDockType true --transparent false \
    --tint 0xd8d8d8 > "$work/trayer.log" 2>&1 &
tray=$!
pids+=("$tray")
sleep 1
start_program
main=$(window "Планировщик задач ЗЕЛКОР")

# A new task at the wizard's first size (no geometry saved yet): the action page of every kind in turn,
# switched with the kind list as a user does.
xdotool mousemove --window "$main" 30 200 click 1
eval "$(xdotool getwindowgeometry --shell "$main")"
xdotool mousemove $((X + WIDTH - 100)) $((Y + 51)) click 1
wizard=$(window "Создание задачи")
key "$wizard" N e w Return Return
for kind in backup export command check; do
    [ "$kind" = backup ] || { xdotool mousemove --window "$wizard" 200 64 click 1; sleep 0.3; xdotool key Down Return; }
    shot "$wizard" "wizard-first-size-$kind.png"
done
key "$wizard" Escape

# The list at the window's first size; a schedule cut short shows whole in its tool tip.
shot "$main" main-window.png
xdotool mousemove --window "$main" 60 32 click 1
shot "$main" main-window-selected.png
xdotool mousemove --window "$main" 200 52
sleep 1.5
shot root main-window-tooltip.png
shot root desktop-with-tray.png

# The tray host lays the program's icon out as a window named after the application.
icon=$(window ZelkorScheduler)
eval "$(xdotool getwindowgeometry --shell "$icon")"
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 3
shot root tray-menu.png
xdotool key Escape

# "Настройки…", the entry above "Выход" in the tray menu: the settings window.
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 3
sleep 1.5
xdotool key Up Up Return
shot "$(window "Настройки")" settings-dialog.png
# "Выполнять задания, когда я не в системе", seven fields on from the first: the message on what was done.
key "$(window "Настройки")" Tab Tab Tab Tab Tab Tab Tab space
sleep 1
shot root settings-background-runs.png
xdotool key Return
sleep 0.5
key "$(window "Настройки")" Escape

# The wizard on the first task (a backup): each page in turn, Enter presses the default button; the
# browser opens at the stored folder.
open_task 32
for page in 0 1 2 3; do
    shot "$wizard" "wizard-page-$page.png"
    [ "$page" -lt 3 ] && key "$wizard" Return
done
key "$wizard" Escape

# A weekly export opens the schedule page with its days, then the export settings and the browser on
# the project; a command ends on the action page.
open_task 52
key "$wizard" Return
shot "$wizard" wizard-page-1-weekly.png
key "$wizard" Return
shot "$wizard" wizard-page-2-export.png
key "$wizard" Return
shot "$wizard" wizard-page-3-export.png
key "$wizard" Escape
open_task 72
key "$wizard" Return
# The paused command's options, from the button at the foot of the schedule page: retries every 90
# seconds, shown as whole minutes with the seconds beside them.
eval "$(xdotool getwindowgeometry --shell "$wizard")"
xdotool mousemove --window "$wizard" 80 $((HEIGHT - 72)) click 1
options=$(window "Условия и повторы")
shot "$options" task-options-dialog.png
key "$options" Escape
# The button keeps the focus, where Enter would press it again: Next from the field before it.
key "$wizard" shift+Tab Return
shot "$wizard" wizard-page-2-command.png
key "$wizard" Escape

# A check on Saturdays and Sundays that starts on a weekday: the schedule page says the first run is on
# that day and offers the first Saturday; its action page warns of the IDS and IFC paths not there.
open_task 82
key "$wizard" Return
shot "$wizard" wizard-page-1-weekly-start.png
key "$wizard" Return
shot "$wizard" wizard-page-2-check.png
key "$wizard" Return
shot "$wizard" wizard-page-3-check.png
key "$wizard" Escape

# An IFC export on a connection whose folder is gone: the IFC settings, then the failed connection test.
open_task 99
key "$wizard" Return Return
shot "$wizard" wizard-page-2-export-ifc.png
key "$wizard" Return
sleep 1
shot root wizard-connection-error.png
xdotool key Return
key "$wizard" Escape

# The status of the runs: the long task started now, the list at the first window size and wide enough
# for every column.
toolbar() { # the toolbar button in the given place (0 = run now ... 4 = log, 5 = history), at the window's current size
    eval "$(xdotool getwindowgeometry --shell "$main")"
    xdotool mousemove --window "$main" $((WIDTH - 100)) $((19 + 32 * $1)) click 1
}
xdotool mousemove --window "$main" 60 133 click 1
toolbar 0
xdotool mousemove --window "$main" 30 200 click 1
xdotool windowsize "$main" 494 319
shot "$main" main-window-first-size.png
# The paused task selected: its sign beside the name, and the command that resumes it.
xdotool mousemove --window "$main" 60 72 click 1
shot "$main" main-window-paused.png
xdotool mousemove --window "$main" 60 133 click 1
xdotool windowsize "$main" 1000 300
shot "$main" main-window-status.png
xdotool windowsize "$main" 640 300

# The log of the failed export, from the toolbar.
xdotool mousemove --window "$main" 60 48 click 1
toolbar 4
viewer=$(window "Журнал задачи: Экспорт DXF")
shot "$viewer" log-viewer-failed-export.png
key "$viewer" Escape

# A run that fails: the IFC export on the connection whose folder is gone; its notice by the tray.
xdotool mousemove --window "$main" 60 99 click 1
toolbar 0
sleep 5
shot root notification.png

# The schedule page of the daily report: its next runs cross the change to summer time.
open_task 116
key "$wizard" Return
shot "$wizard" wizard-page-1-summer-time.png
key "$wizard" Escape

# A new task from the toolbar: nothing typed yet, so Next is not offered.
xdotool mousemove --window "$main" 30 200 click 1
eval "$(xdotool getwindowgeometry --shell "$main")"
xdotool mousemove $((X + WIDTH - 100)) $((Y + 51)) click 1
wizard=$(window "Создание задачи")
shot "$wizard" wizard-new-task.png
key "$wizard" Escape
stop_program

# The run history of the nightly backup, from the toolbar: two weeks of nights written into the journal
# the engine keeps, as its runs record them, with a night the program did not run (caught up in the
# morning), one slow night, three failing nights in a row, a run started by hand once the destination
# was back, and a night whose copy skipped a document.
journal=$XDG_DATA_HOME/Zelkor-Vostal/ZelkorScheduler/journal.sqlite
task=$(sqlite3 "$journal" "SELECT id FROM tasks WHERE name = 'Резервная копия проектов' AND position IS NOT NULL")
ticks() { echo $(( $(date -d "$1" +%s) * 10000000 )); }
run_row() { # when, seconds, how (0 timed, 1 by hand, 2 catch-up), outcome (1 ok, 2 warnings, 3 failed), done, skipped, error
    local start
    start=$(ticks "$1")
    echo "INSERT INTO runs(task, how, slot, started, ended, outcome, done, skipped, unchanged, bytes, error)
        VALUES($task, $3, $( [ "$3" = 1 ] && echo NULL || echo "$start"), $start, $((start + $2 * 10000000)),
        $4, $5, $6, 1240, $(( $5 * 412345 )), $( [ -n "${7:-}" ] && echo "'$7'" || echo NULL));"
}
{
    echo "BEGIN; DELETE FROM runs WHERE task = $task;"
    for night in $(seq 14 -1 1); do
        when="$(date -d "-$night days" +%F) 02:00"
        case $night in
        11) echo "INSERT INTO runs(task, how, slot, started, ended, outcome, missed)
                VALUES($task, 3, $(ticks "$when"), $(ticks "${when% *} 08:11"), $(ticks "${when% *} 08:11"), 6, 1);"
            run_row "$(date -d "-$night days" +%F) 08:12" 811 2 1 23 0 ;;
        8) run_row "$when" 2484 0 1 31 0 ;;
        6|5|4) run_row "$when" $((60 + night * 7)) 0 3 0 0 \
                "Нет доступа к папке назначения «/srv/backup»: отказано в доступе" ;;
        2) run_row "$when" 905 0 2 18 1 ;;
        *) run_row "$when" $((700 + night * 13)) 0 1 $((10 + night)) 0 ;;
        esac
        [ "$night" = 4 ] && run_row "$(date -d "-$night days" +%F) 10:40" 1130 1 1 57 0
    done
    echo "UPDATE tasks SET last_run = (SELECT MAX(id) FROM runs WHERE task = $task),
        last_success = (SELECT MAX(ended) FROM runs WHERE task = $task AND outcome IN (1, 2)) WHERE id = $task;"
    echo "COMMIT;"
} | sqlite3 "$journal"
start_program
# Started again with a tray, the window stays hidden until the tray icon is clicked (on a busy machine
# the icon can take longer than one wait).
sleep 1
icon=$(window ZelkorScheduler || window ZelkorScheduler)
eval "$(xdotool getwindowgeometry --shell "$icon")"
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 1
main=$(window "Планировщик задач ЗЕЛКОР")
xdotool mousemove --window "$main" 60 32 click 1
toolbar 5
history=$(window "История запусков: Резервная копия проектов")
shot "$history" history-window.png
key "$history" Escape
stop_program
# Once seen: a shot of the history read back from the logs, as if the journal had been started anew.
prepared=$(sqlite3 "$journal" "SELECT COUNT(*) FROM runs WHERE task = $task")
[ "$prepared" = 16 ] || echo "history-window.png: the journal holds $prepared of the 16 prepared runs" >&2

# Without a tray host the window stays on screen and its menu moves to the menu bar.
kill "$tray"
sleep 0.5
start_program
main=$(window "Планировщик задач ЗЕЛКОР")
shot "$main" main-window-no-tray.png
xdotool mousemove --window "$main" 30 10 click 1
shot root settings-menu.png
xdotool key Escape
stop_program

# The background engine runs a long task when the window's program starts: the window stands by.
"$exe" --background > "$work/background.log" 2>&1 &
background=$!
pids+=("$background")
sleep 1.5
"$exe" --run "Долгая выгрузка" > /dev/null
sleep 1
start_program
main=$(window "Планировщик задач ЗЕЛКОР")
sleep 1.5
shot "$main" main-window-standby.png
# The long task's program outlives the engine that started it, by design: ended by its own id.
sleepers=$(pgrep -P "$background" -x sleep || true)
kill -TERM "$background"
wait "$background" || true
[ -z "$sleepers" ] || kill $sleepers 2> /dev/null || true
stop_program

# A storage file cut short: the tasks that can be read load, and a warning names the kept copy.
head -c 600 "$XDG_DATA_HOME/Zelkor-Vostal/ZelkorScheduler/storage.xml" > "$work/cut.xml"
mv "$work/cut.xml" "$XDG_DATA_HOME/Zelkor-Vostal/ZelkorScheduler/storage.xml"
start_program
shot "$(window "Файл задач повреждён")" damaged-storage-warning.png
stop_program
