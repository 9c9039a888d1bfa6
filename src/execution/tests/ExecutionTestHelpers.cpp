// Helpers for the execution tests.
#include "ExecutionTestHelpers.h"

#include <QFile>
#include <QMutex>
#include <QMutexLocker>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <regex>

ScopedEnv::ScopedEnv(const char* name, std::optional<std::string> value) : m_name(name) {
    if (const char* old = std::getenv(name)) {
        m_previous = old;
    }
    if (value) {
        setenv(name, value->c_str(), 1);
    } else {
        unsetenv(name);
    }
}

ScopedEnv::~ScopedEnv() {
    if (m_previous) {
        setenv(m_name.c_str(), m_previous->c_str(), 1);
    } else {
        unsetenv(m_name.c_str());
    }
}

std::wstring FakeCliPath() {
    return QStringLiteral(ZELKOR_FAKECLI_DIR "/ZelkorCLI.exe").toStdWString();
}

QByteArray ReadFileBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "cannot read " << path.toStdString();
        return {};
    }
    return file.readAll();
}

std::vector<std::string> LogMessages(const QString& path) {
    static const std::regex stamped(R"(\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d ([^]*))");
    const QByteArray bytes = ReadFileBytes(path);
    std::vector<std::string> messages;
    std::size_t start = 0;
    const std::string text = bytes.toStdString();
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            ADD_FAILURE() << "the log does not end in a newline";
            end = text.size();
        }
        const std::string line = text.substr(start, end - start);
        std::smatch match;
        if (std::regex_match(line, match, stamped)) {
            messages.push_back(match.str(1));
        } else {
            ADD_FAILURE() << "a log line without a time stamp: " << line;
            messages.push_back(line);
        }
        start = end + 1;
    }
    return messages;
}

std::vector<std::vector<std::string>> RecordedCalls(const QString& path) {
    const std::string text = ReadFileBytes(path).toStdString();
    std::vector<std::vector<std::string>> calls;
    std::size_t pos = 0;
    auto field = [&]() {
        const std::size_t end = text.find('\0', pos);
        std::string value = text.substr(pos, end - pos);
        pos = end == std::string::npos ? text.size() : end + 1;
        return value;
    };
    while (pos < text.size()) {
        const long count = std::strtol(field().c_str(), nullptr, 10);
        std::vector<std::string> call;
        for (long i = 0; i < count; ++i) {
            call.push_back(field());
        }
        calls.push_back(std::move(call));
    }
    return calls;
}

namespace {

QMutex g_captureMutex;
QStringList g_captured;
QtMessageHandler g_previousHandler = nullptr;

void CaptureHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtDebugMsg && context.category != nullptr && std::strcmp(context.category, "zelkor") == 0) {
        const QMutexLocker lock(&g_captureMutex);
        g_captured.append(message);
        return;
    }
    if (g_previousHandler != nullptr) {
        g_previousHandler(type, context, message);
    }
}

} // namespace

DebugCapture::DebugCapture() {
    const QMutexLocker lock(&g_captureMutex);
    g_captured.clear();
    g_previousHandler = qInstallMessageHandler(&CaptureHandler);
}

DebugCapture::~DebugCapture() {
    qInstallMessageHandler(g_previousHandler);
}

QStringList DebugCapture::Messages() const {
    const QMutexLocker lock(&g_captureMutex);
    return g_captured;
}
