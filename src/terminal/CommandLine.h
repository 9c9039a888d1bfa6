// The program's options: whether a start is the scheduler itself or one of its terminal commands.
#pragma once

#include <QString>
#include <QStringList>

struct CommandLine {
    enum class Command {
        StartProgram, // no option of ours: the scheduler starts (or hands over to the running one)
        Background,   // the engine without a window, while no window's program runs
        List,
        History,
        Run,
        Pause,
        Resume,
        Help,
        Version,
        BadUsage,
    };
    Command command = Command::StartProgram;
    QString taskName; // History, Run, Pause and Resume
    bool json = false;
    QString error; // BadUsage: what was wrong, for standard error
};

// Reads the arguments that follow the program's name. Qt's own options of a graphical program
// ("-platform xcb", "-session …" from a session manager) are left to the application object.
CommandLine ParseCommandLine(const QStringList& arguments);

// What --help prints.
QString UsageText();
