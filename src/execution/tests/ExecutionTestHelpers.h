// Helpers for the execution tests: environment switches for the tool's stand-in, reading back task logs
// and argument records, and catching the program's trace.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <string>
#include <vector>

// Sets (or, with nullopt, removes) an environment variable for the life of the object; the stand-in
// tool inherits it.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<std::string> value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_name;
    std::optional<std::string> m_previous;
};

// The stand-in tool, found through its build folder (not through config.ini).
std::wstring FakeCliPath();

QByteArray ReadFileBytes(const QString& path);

// The messages of a task log, in order, each without its time stamp. A line whose stamp is not
// "dd.MM.yyyy hh:mm:ss " fails the calling test.
std::vector<std::string> LogMessages(const QString& path);

// The argument vectors the stand-in recorded, one per call.
std::vector<std::vector<std::string>> RecordedCalls(const QString& path);

// Catches what the program sends to its logging category while it lives.
class DebugCapture {
public:
    DebugCapture();
    ~DebugCapture();
    DebugCapture(const DebugCapture&) = delete;
    DebugCapture& operator=(const DebugCapture&) = delete;

    QStringList Messages() const;
};
