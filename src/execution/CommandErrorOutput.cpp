// A command's standard error in an unnamed file, read back from its end.
#include "execution/CommandErrorOutput.h"

#include "execution/ErrorLines.h"
#include "platform/FileTail.h"
#include "platform/TemporaryFile.h"

#include <string_view>

std::shared_ptr<CommandErrorOutput> CommandErrorOutput::Open() {
    std::FILE* file = OpenAnonymousTemporaryFile();
    return file == nullptr ? nullptr : std::make_shared<CommandErrorOutput>(file);
}

CommandErrorOutput::~CommandErrorOutput() {
    std::fclose(m_file); // what the program left running may still write to its copy of the file
}

int CommandErrorOutput::Descriptor() const {
    return fileno(m_file);
}

CommandErrorOutput::LastLines CommandErrorOutput::Read(std::size_t tailBytes) const {
    // One byte before the tail as well, which tells whether the tail begins a line.
    const FileTail tail = ReadFileTail(Descriptor(), tailBytes + 1);
    std::string_view bytes = tail.bytes;
    std::uint64_t leftOut = tail.leftOut;
    if (bytes.size() > tailBytes) {
        // Only whole lines are shown, unless one line is all there is.
        const auto newline = bytes.find('\n');
        const std::size_t cut = newline == std::string_view::npos ? 1 : newline + 1;
        bytes.remove_prefix(cut);
        leftOut += cut;
    }
    LastLines last;
    ErrorLines lines([&last](const QString& line, bool withPrefix) {
        last.entries.push_back(LogEntry{line, withPrefix});
        if (!withPrefix && !line.trimmed().isEmpty()) {
            last.reason = line.trimmed();
        }
    });
    lines.LeftOut(static_cast<std::size_t>(leftOut));
    lines.Feed(bytes);
    lines.Finish();
    return last;
}
