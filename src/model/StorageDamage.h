// What loading found wrong with a storage file that exists, and where the file was kept before anything
// could replace it.
#pragma once

#include <QString>

struct StorageDamage {
    enum class Kind {
        Unreadable,   // could not be opened or read to its end
        NotUtf8,      // holds bytes that are not UTF-8 text
        Malformed,    // not well-formed XML
        NoTaskList,   // no config.tasks element
        TasksLeftOut, // some tasks could not be read and were left out
    };

    Kind kind = Kind::Malformed;
    int tasksLeftOut = 0; // with TasksLeftOut
    QString detail;       // the system's or the parser's words
    QString keptAs;       // the copy of the file as it was read; empty when none could be made
    QString keepError;    // why no copy could be made
};
