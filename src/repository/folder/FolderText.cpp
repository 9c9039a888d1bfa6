// Message building for the folder-tree backend.
#include "FolderText.h"

#include "repository/Utf8.h"

#include <QString>

namespace arkon::folder {

std::wstring ShownPath(std::string_view path) {
    return WideFromUtf8Lossy(path);
}

std::wstring ShownReason(const std::error_code& error) {
    return QString::fromLocal8Bit(error.message().c_str()).toStdWString();
}

ArkonError MakeError(const char* russian, const std::wstring& first, const std::wstring& second) {
    QString text = QString::fromUtf8(russian);
    text.replace(QStringLiteral("%1"), QString::fromStdWString(first));
    text.replace(QStringLiteral("%2"), QString::fromStdWString(second));
    return ArkonError(text.toStdWString());
}

} // namespace arkon::folder
