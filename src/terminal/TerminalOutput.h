// What a terminal command prints. UTF-8 whatever the locale: JSON must be, and the program's other texts
// (logs, files) are. Under --json its errors and warnings are JSON too, one object a line on standard
// error, so that a script reads standard error the way it reads the answer; the exit status stays what
// it is without --json.
#pragma once

#include <QJsonObject>
#include <QString>

class TerminalOutput {
public:
    explicit TerminalOutput(bool json) : m_json(json) {}

    bool Json() const { return m_json; }
    void Print(const QString& text) const; // standard output, as it is
    void PrintJson(const QJsonObject& object) const;
    // A reason on standard error: "zelkor-scheduler: reason", or {"warning": reason} / {"error": reason}.
    void Warn(const QString& reason) const;
    void Error(const QString& reason) const;
    // Bad usage: a person gets the usage after the reason; a script that asked for JSON the reason alone.
    void BadUsage(const QString& reason) const;

private:
    void Say(const QString& key, const QString& reason) const;

    bool m_json;
};
