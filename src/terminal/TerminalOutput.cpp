// Printing the terminal commands' answers, warnings and errors.
#include "TerminalOutput.h"

#include "CommandLine.h"

#include <QJsonDocument>

#include <cstdio>

namespace {

void Write(std::FILE* stream, const QByteArray& bytes) {
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

void TerminalOutput::Print(const QString& text) const {
    Write(stdout, text.toUtf8());
}

void TerminalOutput::PrintJson(const QJsonObject& object) const {
    Write(stdout, QJsonDocument(object).toJson(QJsonDocument::Indented));
}

void TerminalOutput::Warn(const QString& reason) const {
    Say(QStringLiteral("warning"), reason);
}

void TerminalOutput::Error(const QString& reason) const {
    Say(QStringLiteral("error"), reason);
}

void TerminalOutput::BadUsage(const QString& reason) const {
    Say(QStringLiteral("error"), m_json ? reason : reason + QStringLiteral("\n\n") + UsageText().chopped(1));
}

void TerminalOutput::Say(const QString& key, const QString& reason) const {
    if (m_json) {
        Write(stderr, QJsonDocument(QJsonObject{{key, reason}}).toJson(QJsonDocument::Compact) + '\n');
    } else {
        Write(stderr, QStringLiteral("zelkor-scheduler: %1\n").arg(reason).toUtf8());
    }
}
