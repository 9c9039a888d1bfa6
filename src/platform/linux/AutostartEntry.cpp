// Linux: an XDG autostart entry, "ZelkorScheduler.desktop" in the user's autostart folder.
#include "platform/AutostartEntry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

// The Exec key's quoting: a path with reserved characters is put in double quotes, inside which
// '"', '`', '$' and '\' take a backslash. The key is a string value as well, whose own escaping then
// doubles every backslash; a '%' would start a field code and is doubled too.
QString ExecValue(const QString& path) {
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool quote = false;
    for (const QChar c : path) {
        quote = quote || reserved.contains(c);
    }
    QString argument;
    for (const QChar c : path) {
        if (quote && (c == u'"' || c == u'`' || c == u'$' || c == u'\\')) {
            argument += u'\\';
        }
        argument += c;
    }
    if (quote) {
        argument = u'"' + argument + u'"';
    }
    QString value;
    for (const QChar c : argument) {
        if (c == u'\\') {
            value += QStringLiteral("\\\\");
        } else if (c == u'%') {
            value += QStringLiteral("%%");
        } else if (c == u'\n') {
            value += QStringLiteral("\\n");
        } else {
            value += c;
        }
    }
    return value;
}

} // namespace

QString AutostartEntryPath() {
    // GenericConfigLocation is $XDG_CONFIG_HOME (default ~/.config), the base the autostart
    // convention names.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart/ZelkorScheduler.desktop");
}

bool AutostartEntryExists() {
    return QFile::exists(AutostartEntryPath());
}

bool SetAutostartEntry(bool enabled, const QString& executablePath) {
    const QString path = AutostartEntryPath();
    if (!enabled) {
        return !QFile::exists(path) || QFile::remove(path);
    }
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    const QString text = QStringLiteral("[Desktop Entry]\n"
                                        "Type=Application\n"
                                        "Name=Планировщик задач ЗЕЛКОР\n"
                                        "Exec=%1\n"
                                        "Icon=zelkor-scheduler\n"
                                        "Terminal=false\n"
                                        "X-GNOME-Autostart-enabled=true\n")
                             .arg(ExecValue(executablePath));
    file.write(text.toUtf8());
    return file.commit();
}
