// Where the suite's command-line tool lives.
#include "execution/CliLocation.h"

#include <QCoreApplication>
#include <QSettings>
#include <QVariant>

namespace {

const QString kPathKey = QStringLiteral("Paths/Zelkor-III");

} // namespace

std::wstring JoinPath(const std::wstring& folder, const std::wstring& name) {
    // Only "/" separates on Linux; a backslash is an ordinary character of a file name here.
    if (folder.empty()) {
        return name;
    }
    if (folder.back() == L'/') {
        return folder + name;
    }
    return folder + L'/' + name;
}

QString ReadInstallRoot() {
    const QSettings settings(QSettings::NativeFormat, QSettings::SystemScope, QStringLiteral("Zelkor-Vostal"),
                             QStringLiteral("ZelkorIII_2013"));
    return settings.value(kPathKey).toString();
}

std::wstring FindBinDirectory(const QString& executableFolder,
                              const std::function<QString()>& readInstallRoot) {
    // The two sources mean different things: config.ini names the tool's own folder, the machine-wide
    // value names the installation root whose BIN sub-folder holds the tool.
    const QSettings ini(executableFolder + QStringLiteral("/config.ini"), QSettings::IniFormat);
    const QString toolFolder = ini.value(kPathKey).toString();
    if (!toolFolder.isEmpty()) {
        return toolFolder.toStdWString();
    }
    const QString root = readInstallRoot();
    if (root.isEmpty()) {
        return {};
    }
    return JoinPath(root.toStdWString(), L"BIN");
}

std::wstring GetBinDirectory() {
    static const std::wstring folder =
        FindBinDirectory(QCoreApplication::applicationDirPath(), &ReadInstallRoot);
    return folder;
}

std::wstring GetCliPath() {
    return JoinPath(GetBinDirectory(), kCliFileName);
}
