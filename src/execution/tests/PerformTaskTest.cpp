// One run of each kind of action, on folder repositories and with the tool's stand-in: what is run with
// which arguments, in which order, and what reaches the task's log.
#include "execution/PerformTask.h"
#include "execution/ActionArguments.h"
#include "execution/BackupRegistry.h"
#include "execution/LogLine.h"
#include "execution/TaskLog.h"

#include "ConnectionsFile.h"
#include "ExecutionTestHelpers.h"
#include "FolderTree.h"
#include "repository/ICore.h"

#include <boost/asio/io_context.hpp>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QFile>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include <csignal>
#include <sys/stat.h>

using testing::ElementsAre;

namespace {

using Call = std::vector<std::string>;

class PerformTaskTest : public testing::Test {
protected:
    void SetUp() override {
        WriteConnectionsFile(m_settings.Path("ConnectionsConfig.xml"),
                             {{TestId(1), "Проекты", m_repo.Path(), ""}});
        m_context.stored = &m_stored;
        m_context.log = &m_log;
        m_context.core = m_core.get();
        m_context.backups = &m_backups;
        m_context.context = &m_io;
        m_context.connectionsFile = ConnectionsFile();
        m_context.cliPath = FakeCliPath;
        m_context.result = &m_result;
        // As the engine does, on the context's thread.
        m_context.commandEnded = [this](const QString& line, const RunResult& result,
                                        const std::vector<LogEntry>& errorLines) {
            WriteLogLine(&m_log, L"задача", line, true);
            WriteLogLines(&m_log, L"задача", errorLines);
            m_commandResult = result;
        };
    }

    QString ConnectionsFile() const {
        return QString::fromStdString(m_settings.Path("ConnectionsConfig.xml"));
    }

    ExportAction Export(const std::wstring& project, ExportFormat format = ExportFormat::DWG) const {
        ExportAction action;
        action.connection_id = TestId(1);
        action.format = format;
        action.project_path = project;
        action.output_path = m_out.WidePath("экспорт");
        action.scheme_code = L"12";
        action.ifc_mapping_code = L"7";
        action.ifc_version = L"2x3";
        return action;
    }

    // Runs the task as the engine would; gives the number of saves it asked for.
    int Perform(TaskInfo& task, bool* goesOn = nullptr) {
        int saves = 0;
        const bool started = PerformTask(task, m_context, [&saves] { ++saves; });
        if (goesOn != nullptr) {
            *goesOn = started;
        }
        m_log.Close(); // as the engine does after each run
        return saves;
    }

    int Perform(Action action) {
        m_task.action = std::move(action);
        return Perform(m_task);
    }

    // Whether the run left something running beside it.
    bool Perform(CommandAction action) {
        m_task.action = std::move(action);
        bool goesOn = false;
        Perform(m_task, &goesOn);
        return goesOn;
    }

    // The stand-in's calls so far; none before its first call.
    std::vector<Call> Calls() const {
        return QFile::exists(m_argsFile) ? RecordedCalls(m_argsFile) : std::vector<Call>();
    }
    std::string LogText() const { return ReadFileBytes(m_log.Path()).toStdString(); }

    FolderTree m_repo;
    FolderTree m_out;
    FolderTree m_settings;
    QString m_argsFile = QString::fromStdString(m_settings.Path("calls"));
    ScopedEnv m_record{"ZELKOR_FAKECLI_ARGS_FILE", m_argsFile.toStdString()};
    std::shared_ptr<arkon::ICore> m_core = arkon::CreateCore();
    BackupRegistry m_backups{m_core, ConnectionsFile()};
    boost::asio::io_context m_io;
    TaskLog m_log{QString::fromStdString(m_settings.Path("logs")), L"задача"};
    TaskInfo m_stored;
    TaskInfo m_task;
    RunResult m_result;
    RunResult m_commandResult;
    RunContext m_context;
};

std::string Utf8(const std::wstring& text) {
    return QString::fromStdWString(text).toStdString();
}

} // namespace

TEST(ActionArguments, ExportPassesTheOptionsOfItsFormat) {
    ExportAction action;
    action.output_path = L"/out";
    action.scheme_code = L"12";
    action.ifc_mapping_code = L"7";
    action.ifc_version = L"4.0";
    action.format = ExportFormat::IFC;
    EXPECT_THAT(ExportArguments(L"tool", action, L"arkon://P/a"),
                ElementsAre(L"tool", L"--action", L"export", L"--format", L"IFC", L"--project-path",
                            L"arkon://P/a", L"--output-dir", L"/out", L"--options-code", L"7",
                            L"--ifc-version", L"4.0"));
    action.format = ExportFormat::DWG;
    EXPECT_THAT(ExportArguments(L"tool", action, L"arkon://P/a"),
                ElementsAre(L"tool", L"--action", L"export", L"--format", L"DWG", L"--project-path",
                            L"arkon://P/a", L"--output-dir", L"/out", L"--options-code", L"12"));
}

TEST(ActionArguments, CheckPassesEveryFileThenTheRules) {
    EXPECT_THAT(CheckArguments(L"tool", {L"/a.ifc", L"/b.ifc", L"/c.ifc"}, L"/r.ids"),
                ElementsAre(L"tool", L"--action", L"check", L"--format", L"ids", L"--source-path", L"/a.ifc",
                            L"--source-path", L"/b.ifc", L"--source-path", L"/c.ifc", L"--check-path",
                            L"/r.ids"));
}

TEST(ActionArguments, CommandStartsInItsFolderOrTheProgramsFolder) {
    EXPECT_EQ(CommandStartFolder({L"/usr/bin/tool", L"/work", L""}), L"/work");
    EXPECT_EQ(CommandStartFolder({L"/opt/my tools//tool", L"", L""}), L"/opt/my tools");
    EXPECT_EQ(CommandStartFolder({L"/tool", L"", L""}), L"/");
    EXPECT_EQ(CommandStartFolder({L"tool", L"", L""}), L"");
    // A backslash is part of a name here.
    EXPECT_EQ(CommandStartFolder({L"/opt/a\\b\\tool", L"", L""}), L"/opt");
    EXPECT_EQ(CommandStartFolder({L"bin\\tool", L"", L""}), L"");
}

TEST_F(PerformTaskTest, ExportRunsTheToolOncePerDocumentOfTheFolderOnly) {
    m_repo.Write("Объект 1/План.dwg", "a");
    m_repo.Write("Объект 1/Фасад.dwg", "b");
    m_repo.Write("Объект 1/Ведомость.dwg", "c");
    m_repo.Write("Объект 1/Раздел/Вложенный.dwg", "not exported");
    EXPECT_EQ(Perform(Export(L"arkon://Проекты/Объект 1")), 1);

    const auto calls = Calls();
    ASSERT_EQ(calls.size(), 3u);
    // In the listing's order: UTF-8 byte order of the names.
    const std::vector<std::string> documents = {"Ведомость.dwg", "План.dwg", "Фасад.dwg"};
    for (std::size_t i = 0; i < calls.size(); ++i) {
        EXPECT_THAT(calls[i], ElementsAre(Utf8(FakeCliPath()), "--action", "export", "--format", "DWG",
                                          "--project-path", "arkon://Проекты/Объект 1/" + documents[i],
                                          "--output-dir", m_out.Path("экспорт"), "--options-code", "12"));
    }
    EXPECT_EQ(std::get<ExportAction>(m_task.action).modification_times.size(), 3u);
    EXPECT_EQ(LogMessages(m_log.Path()), std::vector<std::string>(3, "Задание успешно выполнено."));

    // Nothing changed since: no tool run, no line, no save.
    EXPECT_EQ(Perform(m_task), 0);
    EXPECT_EQ(Calls().size(), 3u);
    EXPECT_EQ(LogMessages(m_log.Path()).size(), 3u);
}

TEST_F(PerformTaskTest, ExportOfOneDocumentPassesTheStoredPathUnchanged) {
    m_repo.Write("Модель/Здание.ifc", "x");
    const std::wstring stored = L"arkon://Проекты/Модель//Здание.ifc";
    ExportAction action = Export(stored, ExportFormat::IFC);
    action.only_changed_documents = false;
    EXPECT_EQ(Perform(action), 0); // nothing remembered, nothing to save
    EXPECT_THAT(Calls(),
                ElementsAre(ElementsAre(Utf8(FakeCliPath()), "--action", "export", "--format", "IFC",
                                        "--project-path", Utf8(stored), "--output-dir", m_out.Path("экспорт"),
                                        "--options-code", "7", "--ifc-version", "2x3")));
    EXPECT_TRUE(std::get<ExportAction>(m_task.action).modification_times.empty());
}

TEST_F(PerformTaskTest, ExportThatCannotReachItsProjectSaysWhyInTheLog) {
    m_repo.MakeFolder("Есть");
    Perform(Export(L"проекты/Есть"));
    EXPECT_EQ(LogText().substr(20), "Неверно задан путь проекты/Есть\n\n");

    std::filesystem::remove(m_log.Path().toStdString());
    ExportAction unknown = Export(L"arkon://Проекты/Есть");
    unknown.connection_id = TestId(9);
    Perform(unknown);
    EXPECT_THAT(LogMessages(m_log.Path()),
                ElementsAre("Не удалось найти подключение к ХД по пути arkon://Проекты/Есть"));

    std::filesystem::remove(m_log.Path().toStdString());
    Perform(Export(L"arkon://Проекты/Нет/Документ"));
    EXPECT_THAT(LogMessages(m_log.Path()), ElementsAre("Не найден файл arkon://Проекты/Нет/Документ"));
    EXPECT_TRUE(Calls().empty());
}

TEST_F(PerformTaskTest, RepositoryThatFailsEndsTheExportWithItsReasonInTheLog) {
    WriteConnectionsFile(m_settings.Path("ConnectionsConfig.xml"),
                         {{TestId(1), "Проекты", m_repo.Path("исчезла"), ""}});
    EXPECT_EQ(Perform(Export(L"arkon://Проекты/Объект")), 0);
    const auto messages = LogMessages(m_log.Path());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_THAT(messages[0], testing::StartsWith("Ошибка хранилища данных: "));
    EXPECT_THAT(messages[0], testing::HasSubstr(m_repo.Path("исчезла")));
    EXPECT_TRUE(Calls().empty());
}

TEST_F(PerformTaskTest, ExportThatCannotMakeItsOutputFolderFailsAndMarksNothingDone) {
    m_repo.Write("Объект/План.dwg", "a");
    m_repo.Write("Объект/Фасад.dwg", "b");
    m_out.Write("экспорт", "a file where the folder should be");
    Perform(Export(L"arkon://Проекты/Объект"));
    EXPECT_TRUE(Calls().empty());
    const std::string line =
        "Не удалось создать папку для выгрузки " + m_out.Path("экспорт") + ": Not a directory";
    EXPECT_THAT(LogMessages(m_log.Path()), ElementsAre(line));
    EXPECT_EQ(m_result.outcome, RunOutcome::Failed);
    EXPECT_EQ(Utf8(m_result.firstError), line);
    EXPECT_TRUE(std::get<ExportAction>(m_task.action).modification_times.empty());

    // Once the folder can be made, the next run of changed documents exports both.
    std::filesystem::remove(m_out.Path("экспорт"));
    m_result = {};
    Perform(m_task);
    EXPECT_EQ(Calls().size(), 2u);
    EXPECT_EQ(m_result.outcome, RunOutcome::Succeeded);
    EXPECT_EQ(m_result.done, 2);
}

TEST_F(PerformTaskTest, DocumentsThatFailedAreTakenAgainByTheNextRunOfChangedOnes) {
    m_repo.Write("Объект/План.dwg", "a");
    m_repo.Write("Объект/Фасад.dwg", "b");
    m_repo.Write("Объект/Разрез.dwg", "c");
    // A folder where the tool's output file for one document should go: the tool fails for it alone.
    m_out.MakeFolder("экспорт/Фасад.dwg.dwg");
    Perform(Export(L"arkon://Проекты/Объект"));
    EXPECT_EQ(Calls().size(), 3u);
    EXPECT_EQ(m_result.outcome, RunOutcome::Failed);
    EXPECT_EQ(m_result.done, 2);
    EXPECT_EQ(m_result.failed, 1);
    ASSERT_EQ(m_result.failedDocuments.size(), 1u) << "the history names the document";
    EXPECT_EQ(m_result.failedDocuments[0].document, L"arkon://Проекты/Объект/Фасад.dwg");
    EXPECT_EQ(m_result.failedDocuments[0].reason, m_result.firstError);

    // The tool accepts it now: the next run exports that document, and only that one.
    std::filesystem::remove(m_out.Path("экспорт/Фасад.dwg.dwg"));
    m_result = {};
    Perform(m_task);
    const auto calls = Calls();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[3].at(6), "arkon://Проекты/Объект/Фасад.dwg");
    EXPECT_EQ(m_result.outcome, RunOutcome::Succeeded);
    EXPECT_EQ(m_result.done, 1);
    EXPECT_EQ(m_result.unchanged, 2);
    EXPECT_EQ(std::get<ExportAction>(m_task.action).modification_times.size(), 3u);
}

TEST_F(PerformTaskTest, FilesOfACheckThatFailedAreCheckedAgainByTheNextRun) {
    m_out.Write("модели/a.ifc", "ifc");
    m_out.Write("модели/b.ifc", "ifc");
    m_out.Write("rules.ids", "ids");
    CheckAction check;
    check.ids_file = m_out.WidePath("rules.ids");
    check.ifc_file = m_out.WidePath("модели");
    {
        const ScopedEnv failing("ZELKOR_FAKECLI_EXIT_CODE", "3");
        Perform(check);
    }
    EXPECT_EQ(m_result.outcome, RunOutcome::Failed);
    EXPECT_TRUE(std::get<CheckAction>(m_task.action).modification_times.empty());

    m_result = {};
    EXPECT_EQ(Perform(m_task), 1);
    ASSERT_EQ(Calls().size(), 2u);
    EXPECT_EQ(Calls()[1], Calls()[0]);
    EXPECT_EQ(m_result.outcome, RunOutcome::Succeeded);
    EXPECT_EQ(m_result.done, 2);

    // Checked without error: not again.
    m_result = {};
    Perform(m_task);
    EXPECT_EQ(Calls().size(), 2u);
    EXPECT_EQ(m_result.unchanged, 2);
}

TEST_F(PerformTaskTest, ExportOfAFolderWithoutDocumentsWarns) {
    m_repo.MakeFolder("Объект/Раздел");
    Perform(Export(L"arkon://Проекты/Объект"));
    EXPECT_THAT(LogMessages(m_log.Path()),
                ElementsAre("В папке arkon://Проекты/Объект нет документов: выгружать нечего."));
    EXPECT_EQ(m_result.outcome, RunOutcome::Warnings);
}

TEST_F(PerformTaskTest, CheckWithoutItsRulesOrItsFilesFailsOrWarnsBeforeTheTool) {
    m_out.Write("rules.ids", "ids");
    m_out.MakeFolder("пусто");
    struct Case {
        std::wstring ids;
        std::wstring ifc;
        std::string line;
        RunOutcome outcome;
    };
    const std::vector<Case> cases = {
        {m_out.WidePath("нет.ids"), m_out.WidePath("пусто"),
         "Не удалось прочитать файл правил IDS " + m_out.Path("нет.ids") + ": No such file or directory",
         RunOutcome::Failed},
        {m_out.WidePath("rules.ids"), m_out.WidePath("нет"),
         "Не удалось прочитать файлы IFC " + m_out.Path("нет") + ": No such file or directory",
         RunOutcome::Failed},
        {m_out.WidePath("rules.ids"), m_out.WidePath("пусто"),
         "В папке " + m_out.Path("пусто") + " нет файлов IFC: проверять нечего.", RunOutcome::Warnings},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        std::filesystem::remove(m_log.Path().toStdString());
        m_result = {};
        CheckAction check;
        check.ids_file = c.ids;
        check.ifc_file = c.ifc;
        EXPECT_EQ(Perform(check), 0);
        EXPECT_THAT(LogMessages(m_log.Path()), ElementsAre(c.line));
        EXPECT_EQ(m_result.outcome, c.outcome);
    }
    EXPECT_TRUE(Calls().empty());
}

TEST_F(PerformTaskTest, CheckPassesEveryChangedFileToOneRun) {
    for (const char* name : {"a.ifc", "B.IFC", "c.ifc"}) {
        m_out.Write(std::string("модели/") + name, "ifc");
    }
    m_out.Write("rules.ids", "ids");
    CheckAction check;
    check.ids_file = m_out.WidePath("rules.ids");
    check.ifc_file = m_out.WidePath("модели");
    EXPECT_EQ(Perform(check), 1);
    EXPECT_EQ(m_result.done, 3);
    EXPECT_THAT(Calls(), ElementsAre(ElementsAre(Utf8(FakeCliPath()), "--action", "check", "--format", "ids",
                                                 "--source-path", m_out.Path("модели/a.ifc"), "--source-path",
                                                 m_out.Path("модели/B.IFC"), "--source-path",
                                                 m_out.Path("модели/c.ifc"), "--check-path",
                                                 m_out.Path("rules.ids"))));
    // Unchanged since: no run, no save.
    EXPECT_EQ(Perform(m_task), 0);
    EXPECT_EQ(Calls().size(), 1u);
    EXPECT_EQ(m_result.unchanged, 3);

    // Without the option the stored path goes to the tool as it is.
    check.only_changed_documents = false;
    EXPECT_EQ(Perform(check), 0);
    EXPECT_EQ(Calls().at(1).at(6), m_out.Path("модели"));
}

TEST_F(PerformTaskTest, CommandGetsItsArgumentsTextAsOneArgumentInItsFolderAndIsReaped) {
    // A program that notes its folder, its arguments and its process id.
    const std::string script = m_out.Path("bin/notes.sh");
    m_out.Write("bin/notes.sh",
                "#!/bin/sh\npwd > \"$0.pwd\"\nprintf '%s|' \"$@\" > \"$0.args\"\necho $$ > \"$0.pid\"\n");
    chmod(script.c_str(), 0755);
    Perform(CommandAction{QString::fromStdString(script).toStdWString(), L"", L"два слова"});
    m_io.run_for(std::chrono::seconds(5)); // the exit handler runs here, then nothing is left to do
    EXPECT_EQ(m_out.Read("bin/notes.sh.pwd"), m_out.Path("bin") + "\n");
    EXPECT_EQ(m_out.Read("bin/notes.sh.args"), "два слова|");
    const std::string pid = m_out.Read("bin/notes.sh.pid");
    EXPECT_FALSE(std::filesystem::exists("/proc/" + pid.substr(0, pid.size() - 1))) << "not reaped";
    EXPECT_THAT(LogMessages(m_log.Path()), ElementsAre("Программа завершилась с кодом 0."));
}

TEST_F(PerformTaskTest, CommandEndsAreLoggedWithCodeOrSignal) {
    m_out.Write("fails.sh", "#!/bin/sh\nexit 3\n");
    m_out.Write("killed.sh", "#!/bin/sh\nkill -KILL $$\n");
    for (const char* script : {"fails.sh", "killed.sh"}) {
        chmod(m_out.Path(script).c_str(), 0755);
        Perform(CommandAction{m_out.WidePath(script), L"", L""});
        m_io.restart();
        m_io.run_for(std::chrono::seconds(5));
    }
    EXPECT_THAT(LogMessages(m_log.Path()),
                ElementsAre("Программа завершилась с кодом 3.", "Программа завершена сигналом 9."));
}

TEST_F(PerformTaskTest, FailedCommandsLeaveTheirLastErrorLinesInTheLogAndTheirResult) {
    struct Case {
        std::string script;
        std::vector<std::string> lines; // what the log says of the program's end
        std::string firstError;
    };
    const std::string exited1 = "Программа завершилась с кодом 1.";
    for (const Case& c : std::vector<Case>{
             // Standard output is not kept; every line of standard error is, CR and all.
             {"echo начало >&2; echo вывод; printf 'нет файла /x\\r\\n' >&2; exit 1",
              {exited1, "начало", "нет файла /x\r"},
              exited1 + " нет файла /x"},
             // The reason is the last line with something in it.
             {"echo причина >&2; echo ' последняя ' >&2; echo '   ' >&2; echo >&2; exit 1",
              {exited1, "причина", " последняя ", "   ", ""},
              exited1 + " последняя"},
             {"echo всё хорошо >&2; exit 0", {"Программа завершилась с кодом 0."}, ""},
             {"exit 2", {"Программа завершилась с кодом 2."}, "Программа завершилась с кодом 2."},
             {"echo умираю >&2; kill -KILL $$",
              {"Программа завершена сигналом 9.", "умираю"},
              "Программа завершена сигналом 9. умираю"},
         }) {
        SCOPED_TRACE(c.script);
        QFile::remove(m_log.Path());
        m_commandResult = {};
        m_out.Write("command.sh", "#!/bin/sh\n" + c.script + "\n");
        chmod(m_out.Path("command.sh").c_str(), 0755);
        ASSERT_TRUE(Perform(CommandAction{m_out.WidePath("command.sh"), L"", L""}));
        m_io.restart();
        m_io.run_for(std::chrono::seconds(30));
        EXPECT_EQ(LogMessages(m_log.Path()), c.lines) << LogText();
        EXPECT_EQ(Utf8(m_commandResult.firstError), c.firstError);
    }
}

TEST_F(PerformTaskTest, ACommandsEndIsToldWhileWhatItLeftRunningStillWritesItsErrors) {
    // The descendant keeps the program's standard error; the end must not wait for it, and it must be
    // able to go on writing after the end has been told (a pipe nobody reads would end it there).
    m_out.Write("leaves.sh", "#!/bin/sh\necho $$ > \"$0.group\"\n"
                             "(sleep 1; echo поздно >&2; touch \"$0.wrote\"; sleep 60) &\n"
                             "echo рано >&2\nexit 1\n");
    chmod(m_out.Path("leaves.sh").c_str(), 0755);
    ASSERT_TRUE(Perform(CommandAction{m_out.WidePath("leaves.sh"), L"", L""}));
    m_io.run_for(std::chrono::seconds(30)); // returns once the end was told: the descendant is no work
    EXPECT_EQ(LogMessages(m_log.Path()),
              (std::vector<std::string>{"Программа завершилась с кодом 1.", "рано"}));
    for (int i = 0; i < 3000 && !std::filesystem::exists(m_out.Path("leaves.sh.wrote")); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(std::filesystem::exists(m_out.Path("leaves.sh.wrote")));
    ::kill(-std::stoi(m_out.Read("leaves.sh.group")), SIGKILL); // the program's group: its descendants
}

TEST_F(PerformTaskTest, CommandIsNotStartedOutsideItsFolderAndSaysWhy) {
    // A program that would leave its mark in whatever folder it runs in.
    m_out.Write("bin/marks.sh", "#!/bin/sh\ntouch mark\n");
    chmod(m_out.Path("bin/marks.sh").c_str(), 0755);
    const std::filesystem::path here = std::filesystem::current_path();
    std::filesystem::current_path(m_out.Path("bin"));
    testing::internal::CaptureStderr();
    // Missing folder; a file as folder; a missing program (resolved in this folder, not in the start one).
    EXPECT_FALSE(Perform(CommandAction{L"marks.sh", m_out.WidePath("нет папки"), L""}));
    EXPECT_FALSE(Perform(CommandAction{L"marks.sh", m_out.WidePath("bin/marks.sh"), L""}));
    EXPECT_FALSE(Perform(CommandAction{L"нет программы", m_out.WidePath(""), L""}));
    const std::string printed = testing::internal::GetCapturedStderr();
    // A relative program is taken from this folder although it starts in another.
    EXPECT_TRUE(Perform(CommandAction{L"marks.sh", m_out.WidePath(""), L""}));
    std::filesystem::current_path(here);
    m_io.run_for(std::chrono::seconds(5));

    EXPECT_FALSE(std::filesystem::exists(m_out.Path("bin/mark")));
    EXPECT_TRUE(std::filesystem::exists(m_out.Path("mark")));
    const auto lines = LogMessages(m_log.Path());
    ASSERT_EQ(lines.size(), 4u) << LogText();
    EXPECT_EQ(lines[0], "Не удалось запустить программу: нет доступа к папке " + m_out.Path("нет папки") +
                            ": No such file or directory");
    EXPECT_EQ(lines[1], "Не удалось запустить программу: нет доступа к папке " + m_out.Path("bin/marks.sh") +
                            ": Not a directory");
    EXPECT_EQ(lines[2], "Не удалось запустить программу: нет программы: No such file or directory");
    EXPECT_EQ(lines[3], "Программа завершилась с кодом 0.");
    EXPECT_NE(printed.find(m_out.Path("нет папки") + ": No such file or directory"), std::string::npos)
        << printed;
}

TEST_F(PerformTaskTest, BackupStartsItsCopyAndReturnsAtOnce) {
    m_repo.Write("Архив/документ.txt", "содержимое");
    Perform(BackupAction{TestId(1), L"arkon://Проекты/Архив", m_out.WidePath("копия")});
    ASSERT_TRUE(m_backups.WaitFor(m_stored, std::chrono::seconds(10)));
    EXPECT_EQ(m_out.Read("копия/документ.txt"), "содержимое");
    EXPECT_TRUE(LogText().empty());
}
