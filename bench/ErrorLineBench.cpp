// The engine's peak resident memory while a check task's tool writes a lot to standard error: one
// 60 MiB line, and 100 MiB in a million lines, against the same engine idle after a run with a short
// error. The engine (TaskStorage) runs the task on its own threads as in the program, with the tool's
// stand-in and real task logs. Goal: at most 64 MiB above idle.
#include "scheduler/TaskStorage.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

namespace {

// Kilobytes of the line "<field>: <n> kB" in /proc/self/status.
long StatusKilobytes(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string head = std::string(field) + ":";
    while (std::getline(status, line)) {
        if (line.rfind(head, 0) == 0) {
            return std::strtol(line.c_str() + head.size(), nullptr, 10);
        }
    }
    return -1;
}

// Sets the peak (VmHWM) back to the present resident size; false where the kernel does not allow it.
bool ResetPeak() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}

// Runs the task now and waits until its run has ended: its log has grown by the run's lines and the
// engine runs nothing.
void RunAndWait(TaskStorage& engine, TaskInfo* record) {
    const QString log = engine.LogFolder() + QStringLiteral("/") + QString::fromStdWString(record->name) +
                        QStringLiteral(".log");
    const qint64 before = QFile(log).size();
    engine.RunNow(record);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(5);
    while (std::chrono::steady_clock::now() < deadline &&
           (QFile(log).size() == before || !engine.RunningTasks().empty())) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void Report(const char* what, long idle, long peak, bool reset) {
    std::printf("%s: idle %.1f MiB, peak %.1f MiB, %.1f MiB above idle%s\n", what, idle / 1024.0,
                peak / 1024.0, (peak - idle) / 1024.0,
                reset ? "" : " (peak not reset: it includes the start)");
}

} // namespace

int main(int argc, char** argv) {
    // The trace would copy every log line to this program's standard error, unless asked for.
    if (!qEnvironmentVariableIsSet("QT_LOGGING_RULES")) {
        qputenv("QT_LOGGING_RULES", "zelkor.debug=false");
    }
    QCoreApplication app(argc, argv);
    QTemporaryDir folder;
    std::ofstream(folder.filePath(QStringLiteral("model.ifc")).toStdString()) << "ifc";
    std::ofstream(folder.filePath(QStringLiteral("rules.ids")).toStdString()) << "ids";
    TaskStorage::Settings settings;
    settings.storagePath = folder.filePath(QStringLiteral("storage.xml"));
    settings.logFolder = folder.filePath(QStringLiteral("logs"));
    settings.cliPath = [] { return QStringLiteral(ZELKOR_FAKECLI_PATH).toStdWString(); };
    settings.runSettings = [] {
        RunSettings run;
        run.keepAwake = false; // no session bus needed
        return run;
    };
    TaskStorage engine(settings);
    TaskInfo task;
    task.name = L"Проверка";
    task.starting_point = CurrentTime() + Ticks{kTicksPerDay};
    CheckAction check;
    check.ifc_file = folder.filePath(QStringLiteral("model.ifc")).toStdWString();
    check.ids_file = folder.filePath(QStringLiteral("rules.ids")).toStdWString();
    check.only_changed_documents = false;
    task.action = check;
    TaskInfo* record = engine.AddTask(task);

    setenv("ZELKOR_FAKECLI_EXIT_CODE", "3", 1);
    setenv("ZELKOR_FAKECLI_STDERR", "short\n", 1);
    RunAndWait(engine, record); // everything a run needs is loaded and warm
    unsetenv("ZELKOR_FAKECLI_STDERR");
    const long idle = StatusKilobytes("VmRSS");

    setenv("ZELKOR_FAKECLI_STDERR_LINE_BYTES", std::to_string(60L << 20).c_str(), 1);
    bool reset = ResetPeak();
    RunAndWait(engine, record);
    Report("one 60 MiB error line", idle, StatusKilobytes("VmHWM"), reset);
    unsetenv("ZELKOR_FAKECLI_STDERR_LINE_BYTES");

    setenv("ZELKOR_FAKECLI_STDERR_LINES", "1000000", 1);
    reset = ResetPeak();
    RunAndWait(engine, record);
    Report("100 MiB in 1000000 error lines", idle, StatusKilobytes("VmHWM"), reset);
    engine.Close();
    return 0;
}
