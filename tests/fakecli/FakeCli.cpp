// A stand-in for the suite's command-line tool, for tests and demonstrations. It accepts exactly the
// command lines the scheduler gives the real tool and leaves evidence of every call:
//
//   --action export --format F --project-path P --output-dir D --options-code C [--ifc-version V]
//       writes one file per document into D: the last name of P (or "document") + "." + f in lower
//       case; "--ifc-version" is required for IFC and refused for the other formats.
//   --action check --format ids (--source-path S)... --check-path C
//       checks nothing; the call itself is the evidence.
//   --action select --format F
//       prints "CODE:<F>-1" and "NAME:Схема <F>" unless told to print something else.
//   Anything else: a usage message on standard error and exit code 2.
//
// Environment variables change what it does, after the action's own work:
//   ZELKOR_FAKECLI_ARGS_FILE     appends the argument vector to this file: the count, then every
//                                argument, each followed by a NUL byte
//   ZELKOR_FAKECLI_STDOUT        written to standard output as it stands (replaces the select output)
//   ZELKOR_FAKECLI_STDOUT_LINES  then this many numbered lines of about 100 bytes on standard output
//   ZELKOR_FAKECLI_STDOUT_TAIL   then this text on standard output
//   ZELKOR_FAKECLI_STDERR        written to standard error as it stands
//   ZELKOR_FAKECLI_STDERR_LINES  then this many numbered lines of about 100 bytes on standard error
//   ZELKOR_FAKECLI_STDERR_LINE_BYTES  then one line on standard error: "stderr line " and "x" up to
//                                this many bytes, and a LF
//   ZELKOR_FAKECLI_LINGER_MS     leaves a descendant behind that holds standard output and error open
//                                this long; ZELKOR_FAKECLI_LINGER_PID_FILE receives its pid
//   ZELKOR_FAKECLI_SLEEP_MS      sleeps this long before exiting
//   ZELKOR_FAKECLI_IGNORE_TERM   when set, ignores SIGTERM from the start
//   ZELKOR_FAKECLI_SIGNAL        ends by raising this signal
//   ZELKOR_FAKECLI_EXIT_CODE     ends with this exit code (0 otherwise)
//
// Plain C++ without Qt, so that it starts about as fast as a program can.
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

const char* Env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : nullptr;
}

long EnvNumber(const char* name) {
    const char* value = Env(name);
    return value != nullptr ? std::strtol(value, nullptr, 10) : 0;
}

void WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t count = ::write(fd, text.data() + done, text.size() - done);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        done += static_cast<std::size_t>(count);
    }
}

void WriteNumberedLines(int fd, const char* what, long count) {
    std::string batch;
    for (long i = 1; i <= count; ++i) {
        char head[64];
        std::snprintf(head, sizeof head, "%s line %08ld ", what, i);
        batch += head;
        batch.append(100 - 1 - std::strlen(head), 'x');
        batch += '\n';
        if (batch.size() > 60000) {
            WriteAll(fd, batch);
            batch.clear();
        }
    }
    WriteAll(fd, batch);
}

void WriteLongLine(int fd, long bytes) {
    if (bytes <= 0) {
        return;
    }
    std::string head = "stderr line ";
    auto left = static_cast<std::size_t>(bytes);
    head.resize(std::min(head.size(), left));
    WriteAll(fd, head);
    left -= head.size();
    const std::string block(65536, 'x');
    while (left > 0) {
        const std::size_t count = std::min(left, block.size());
        WriteAll(fd, block.substr(0, count));
        left -= count;
    }
    WriteAll(fd, "\n");
}

void RecordArguments(int argc, char** argv) {
    const char* file = Env("ZELKOR_FAKECLI_ARGS_FILE");
    if (file == nullptr) {
        return;
    }
    std::string record = std::to_string(argc);
    record += '\0';
    for (int i = 0; i < argc; ++i) {
        record += argv[i];
        record += '\0';
    }
    std::ofstream out(file, std::ios::binary | std::ios::app);
    out << record;
}

// "--name value" pairs in the order given; nullopt when an option lacks its value.
using Options = std::vector<std::pair<std::string, std::string>>;

std::optional<Options> ReadOptions(int argc, char** argv) {
    if ((argc - 1) % 2 != 0) {
        return std::nullopt;
    }
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strncmp(argv[i], "--", 2) != 0) {
            return std::nullopt;
        }
        options.emplace_back(argv[i], argv[i + 1]);
    }
    return options;
}

bool Is(const Options& options, std::size_t index, const char* name) {
    return index < options.size() && options[index].first == name;
}

int Usage(const std::string& why) {
    WriteAll(2, "ZelkorCLI.exe: " + why +
                    "\nusage: --action export --format F --project-path P --output-dir D --options-code C "
                    "[--ifc-version V]\n       --action check --format ids (--source-path S)... --check-path "
                    "C\n       --action select --format F\n");
    return 2;
}

std::string Lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

int Export(const Options& o) {
    if (o.size() < 5 || !Is(o, 1, "--format") || !Is(o, 2, "--project-path") || !Is(o, 3, "--output-dir") ||
        !Is(o, 4, "--options-code")) {
        return Usage("bad export command line");
    }
    const std::string& format = o[1].second;
    const bool ifc = format == "IFC";
    if (o.size() != (ifc ? 6U : 5U) || (ifc && !Is(o, 5, "--ifc-version"))) {
        return Usage(ifc ? "IFC export needs exactly --ifc-version after --options-code"
                         : "bad export command line");
    }
    const std::string& project = o[2].second;
    std::string name = project.substr(project.find_last_of('/') + 1);
    if (name.empty()) {
        name = "document";
    }
    const std::string file = o[3].second + "/" + name + "." + Lower(format);
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out) {
        WriteAll(2, "cannot write " + file + ": " + std::strerror(errno) + "\n");
        return 3;
    }
    out << "format=" << format << "\nproject=" << project << "\noptions=" << o[4].second << "\n";
    if (ifc) {
        out << "ifc-version=" << o[5].second << "\n";
    }
    return 0;
}

int Check(const Options& o) {
    if (o.size() < 4 || !Is(o, 1, "--format") || o[1].second != "ids" ||
        !Is(o, o.size() - 1, "--check-path")) {
        return Usage("bad check command line");
    }
    for (std::size_t i = 2; i + 1 < o.size(); ++i) {
        if (!Is(o, i, "--source-path")) {
            return Usage("bad check command line");
        }
    }
    return 0;
}

int Select(const Options& o) {
    if (o.size() != 2 || !Is(o, 1, "--format")) {
        return Usage("bad select command line");
    }
    if (Env("ZELKOR_FAKECLI_STDOUT") == nullptr) {
        WriteAll(1, "CODE:" + o[1].second + "-1\nNAME:Схема " + o[1].second + "\n");
    }
    return 0;
}

int Act(int argc, char** argv) {
    const std::optional<Options> options = ReadOptions(argc, argv);
    if (!options || options->empty() || options->front().first != "--action") {
        return Usage("bad command line");
    }
    const std::string& action = options->front().second;
    if (action == "export") {
        return Export(*options);
    }
    if (action == "check") {
        return Check(*options);
    }
    if (action == "select") {
        return Select(*options);
    }
    return Usage("unknown action " + action);
}

void Linger() {
    const long ms = EnvNumber("ZELKOR_FAKECLI_LINGER_MS");
    if (ms <= 0) {
        return;
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        // Keeps the inherited standard output and error open while it sleeps.
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        _exit(0);
    }
    if (const char* file = Env("ZELKOR_FAKECLI_LINGER_PID_FILE"); file != nullptr && pid > 0) {
        std::ofstream(file) << pid << "\n";
    }
}

} // namespace

int main(int argc, char** argv) {
    if (Env("ZELKOR_FAKECLI_IGNORE_TERM") != nullptr) {
        std::signal(SIGTERM, SIG_IGN);
    }
    RecordArguments(argc, argv);
    const int result = Act(argc, argv);

    if (const char* text = Env("ZELKOR_FAKECLI_STDOUT")) {
        WriteAll(1, text);
    }
    WriteNumberedLines(1, "stdout", EnvNumber("ZELKOR_FAKECLI_STDOUT_LINES"));
    if (const char* text = Env("ZELKOR_FAKECLI_STDOUT_TAIL")) {
        WriteAll(1, text);
    }
    if (const char* text = Env("ZELKOR_FAKECLI_STDERR")) {
        WriteAll(2, text);
    }
    WriteNumberedLines(2, "stderr", EnvNumber("ZELKOR_FAKECLI_STDERR_LINES"));
    WriteLongLine(2, EnvNumber("ZELKOR_FAKECLI_STDERR_LINE_BYTES"));
    Linger();
    if (const long ms = EnvNumber("ZELKOR_FAKECLI_SLEEP_MS"); ms > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
    if (const long signal = EnvNumber("ZELKOR_FAKECLI_SIGNAL"); signal > 0) {
        std::signal(static_cast<int>(signal), SIG_DFL);
        std::raise(static_cast<int>(signal));
    }
    if (result != 0) {
        return result;
    }
    return static_cast<int>(EnvNumber("ZELKOR_FAKECLI_EXIT_CODE"));
}
