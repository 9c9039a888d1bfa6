// The log file of one task.
#include "execution/TaskLog.h"

#include "repository/Utf8.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <filesystem>
#include <iostream>
#include <system_error>

namespace {

// The longest file name the usual Linux file systems take, in bytes.
constexpr int kMaxFileNameBytes = 255;
constexpr int kNameHashDigits = 16;

// SHA-256 of the name's UTF-8, converted a piece at a time. A piece never ends on a surrogate code unit,
// so that a pair is converted as the whole name's conversion would.
QByteArray WholeNameHash(std::wstring_view name) {
    constexpr std::size_t kPiece = 1 << 16;
    const auto isSurrogate = [](wchar_t c) { return c >= 0xD800 && c <= 0xDFFF; };
    QCryptographicHash hash(QCryptographicHash::Sha256);
    std::size_t at = 0;
    while (at < name.size()) {
        std::size_t end = std::min(name.size(), at + kPiece);
        while (end < name.size() && isSurrogate(name[end - 1])) {
            ++end;
        }
        const std::wstring_view piece = name.substr(at, end - at);
        hash.addData(QString::fromWCharArray(piece.data(), static_cast<int>(piece.size())).toUtf8());
        at = end;
    }
    return hash.result();
}

std::filesystem::path NativePath(const QString& path) {
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

// The standard library's own message for the failure, naming the operation and the folder.
bool CreateFolder(const QString& folder) {
    std::error_code ec;
    std::filesystem::create_directories(NativePath(folder), ec);
    if (ec) {
        std::cerr << std::filesystem::filesystem_error("create_directories", NativePath(folder), ec).what()
                  << '\n';
        return false;
    }
    return true;
}

} // namespace

TaskLog::TaskLog(const QString& folder, const std::wstring& taskName)
    : TaskLog(PathFor(folder, taskName), At{}) {}

TaskLog::TaskLog(const QString& path, At) : m_path(path) {
    if (!CreateFolder(QFileInfo(path).path())) {
        return;
    }
    QFile file(m_path);
    // Append mode lets tasks of the same name, and other processes, add to the file without
    // overwriting one another.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        std::cerr << "Cannot open the task log " << QFile::encodeName(m_path).constData() << ": "
                  << file.errorString().toLocal8Bit().constData() << '\n';
        return;
    }
    m_usable = true;
}

TaskLog::TaskLog(const std::wstring& taskName) : TaskLog(DefaultFolder(), taskName) {}

TaskLog::TaskLog() = default;

TaskLog::~TaskLog() = default;

QString TaskLog::DefaultFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
}

QString TaskLog::PathFor(const QString& folder, const std::wstring& taskName) {
    return QDir(folder).filePath(FileNameFor(taskName));
}

QString TaskLog::FileNameFor(const std::wstring& taskName) {
    const QString suffix = QStringLiteral(".log");
    // Every character takes a byte at least, so a longer name is always cut; only its start is looked at
    // then, and its hash read in pieces: a name may run to millions of characters.
    const auto room = static_cast<std::size_t>(kMaxFileNameBytes - 1 - kNameHashDigits - suffix.size());
    const bool mayFit = taskName.size() <= static_cast<std::size_t>(kMaxFileNameBytes);
    // Two characters beyond the room, so that a surrogate pair at its end is converted whole.
    QString name = QString::fromStdWString(mayFit ? taskName : taskName.substr(0, room + 2));
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    name.replace(QChar(u'\0'), QLatin1Char('_'));
    if (mayFit && QFile::encodeName(name + suffix).size() <= kMaxFileNameBytes) {
        return name + suffix;
    }
    // The whole name is in the hash, so names alike up to the cut still get logs of their own, and the
    // same name always finds the same log.
    const QByteArray hash = WholeNameHash(taskName).toHex().left(kNameHashDigits);
    const QByteArray local = QFile::encodeName(name);
    const std::size_t kept = Utf8PrefixLength(std::string_view(local.constData(), local.size()), room);
    return QFile::decodeName(local.left(static_cast<int>(kept))) + QLatin1Char('~') + QLatin1String(hash) +
           suffix;
}

void TaskLog::Write(const QByteArray& bytes) {
    if (!m_usable) {
        return;
    }
    if (!m_file) {
        // Unbuffered, so that a log read during a long run already shows the lines written so far.
        auto file = std::make_unique<QFile>(m_path);
        if (!file->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
            return;
        }
        m_file = std::move(file);
    }
    m_file->write(bytes);
}

void TaskLog::Close() {
    m_file.reset();
}

void TaskLog::Remove() {
    m_usable = false;
    m_file.reset();
    std::error_code ec;
    std::filesystem::remove(NativePath(m_path), ec);
    if (ec) {
        std::cerr << ec.message() << '\n';
    }
}
