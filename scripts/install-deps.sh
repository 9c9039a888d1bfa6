#!/usr/bin/env bash
# Installs every package the scheduler needs to build, run and be tested on Debian 12.
# Safe to run again: when everything is present it only checks and returns.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config clang-format
    qtbase5-dev qttranslations5-l10n
    libboost1.81-all-dev
    # The run journal: SQLite's library and its shell (the shell for looking into a journal by hand).
    libsqlite3-dev sqlite3
    libhowardhinnant-date-dev tzdata
    libgtest-dev libgmock-dev libbenchmark-dev
    # The sleep inhibitor's and the failure notices' tests run a message bus of their own.
    dbus dbus-daemon
    # The Debian package: dpkg-shlibdeps finds its dependencies; lintian and the validators of the
    # desktop entry and the AppStream data check it.
    dpkg-dev lintian desktop-file-utils appstream
    # The package's user unit is checked by systemd-analyze, which looks up the manual page it names.
    systemd man-db
    # The fuzz targets: clang with libFuzzer's runtime, and the symboliser for readable reports.
    clang libclang-rt-14-dev llvm
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

as_root=()
if [ "$(id -u)" -ne 0 ]; then
    as_root=(sudo)
fi

echo "Installing: ${missing[*]}"
"${as_root[@]}" apt-get update -q
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
