// Where a command task's program writes its standard error, and what of it reaches the log.
#pragma once

#include "LogLine.h"

#include <cstddef>
#include <cstdio>
#include <memory>
#include <vector>

// An unnamed temporary file rather than a pipe: the program, and whatever it leaves running, may outlive
// the scheduler, and must not be ended by a write to a pipe nobody reads any more, nor wait for room in
// one. Only the end of the file is read, once the program has ended.
class CommandErrorOutput {
public:
    // As much of the end as the tool's standard error keeps in memory.
    static constexpr std::size_t kTailBytes = std::size_t{8} << 20;

    // Null when no temporary file can be had: the program then writes to the scheduler's own.
    static std::shared_ptr<CommandErrorOutput> Open();

    explicit CommandErrorOutput(std::FILE* file) : m_file(file) {}
    CommandErrorOutput(const CommandErrorOutput&) = delete;
    CommandErrorOutput& operator=(const CommandErrorOutput&) = delete;
    ~CommandErrorOutput();

    int Descriptor() const;

    // The last whole lines within `tailBytes` of the end, as the tool's are logged (each line cut as
    // theirs, a line saying how many bytes were left out before them), and the last of them that is not
    // blank, the program's likely reason.
    struct LastLines {
        std::vector<LogEntry> entries;
        QString reason;
    };
    LastLines Read(std::size_t tailBytes = kTailBytes) const;

private:
    std::FILE* m_file;
};
