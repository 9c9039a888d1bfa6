// storage.xml: the exact text written, the reading rules and defaults, and damaged files.
#include "model/StorageFile.h"
#include "model/LocalDateTime.h"

#include "TimeHelpers.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextCodec>

#include <boost/uuid/string_generator.hpp>

#include <csignal>
#include <functional>
#include <sys/resource.h>

namespace {

const auto kConnection =
    boost::uuids::string_generator()(std::wstring(L"9b2f4c1e-1d2a-4c3b-8e5f-0a1b2c3d4e5f"));

// One task of every kind and option group, each of which reads back equal to itself.
std::vector<TaskInfo> EveryKind() {
    std::vector<TaskInfo> tasks;

    TaskInfo backup;
    backup.name = L"Резервная копия";
    backup.description = L"Каждый рабочий день";
    backup.starting_point = TimePointFromTicks(17'800'000'000'000'000);
    backup.run_only_on_working_days = true;
    backup.action = BackupAction{kConnection, L"arkon://Проекты/Объект 1", L"/home/user/Резерв"};
    tasks.push_back(backup);

    TaskInfo dxf;
    dxf.name = L"Экспорт DXF";
    dxf.starting_point = TimePointFromTicks(10'000'000);
    dxf.trigger = WeeklyTrigger{2, {0, 1, 3}};
    ExportAction dxfAction;
    dxfAction.connection_id = kConnection;
    dxfAction.format = ExportFormat::DXF;
    dxfAction.project_path = L"arkon://Проекты/Объект 1";
    dxfAction.output_path = L"/home/user/export";
    dxfAction.scheme_code = L"12";
    dxfAction.scheme_name = L"Схема А";
    dxfAction.modification_times = {
        {L"arkon://Проекты/Объект 1/План", TimePointFromTicks(16'000'000'000'000'000)},
        {L"arkon://Проекты/Объект 1/Fasade", TimePointFromTicks(-20'000)}};
    dxf.action = dxfAction;
    tasks.push_back(dxf);

    TaskInfo ifc;
    ifc.name = L"Экспорт IFC";
    ifc.starting_point = TimePointFromTicks(-1);
    ifc.trigger = WeeklyTrigger{1, {}};
    ExportAction ifcAction;
    ifcAction.connection_id = kConnection;
    ifcAction.format = ExportFormat::IFC;
    ifcAction.project_path = L"arkon://Проекты/Модель";
    ifcAction.output_path = L"/tmp/ifc";
    ifcAction.ifc_version = L"2x3";
    ifcAction.ifc_mapping_code = L"7";
    ifcAction.ifc_mapping_name = L"Соответствие <основное> & \"второе\"";
    ifcAction.only_changed_documents = false;
    ifc.action = ifcAction;
    tasks.push_back(ifc);

    TaskInfo bareIfc = ifc;
    bareIfc.name = L"IFC без настроек";
    auto& bareIfcAction = std::get<ExportAction>(bareIfc.action);
    bareIfcAction.ifc_version = L"4.0";
    bareIfcAction.ifc_mapping_code.clear();
    bareIfcAction.ifc_mapping_name.clear();
    tasks.push_back(bareIfc);

    TaskInfo command;
    command.name = L"Команда";
    command.starting_point = TimePointFromTicks(std::numeric_limits<std::int64_t>::max());
    command.trigger = DailyTrigger{3};
    command.action = CommandAction{L"/usr/bin/rsync", L"/home/user", L"-a \"src dir\" dst"};
    tasks.push_back(command);

    TaskInfo check;
    check.name = L"Проверка";
    check.starting_point = TimePointFromTicks(std::numeric_limits<std::int64_t>::min());
    CheckAction checkAction;
    checkAction.ids_file = L"/home/user/rules.ids";
    checkAction.ids_file_mode = false;
    checkAction.ifc_file = L"/home/user/models";
    checkAction.ifc_file_mode = true;
    check.action = checkAction;
    tasks.push_back(check);
    return tasks;
}

QByteArray ReadBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString Fixture(const char* name) {
    return QStringLiteral(ZELKOR_FIXTURES_DIR "/") + QString::fromLatin1(name);
}

std::vector<TaskInfo> FromXml(const std::string& utf8) {
    return TasksFromXml(QString::fromStdString(utf8).toStdWString());
}

std::wstring ToXml(const std::vector<TaskInfo>& tasks) {
    return TasksToXml(TaskPointers(tasks));
}

std::string InTasks(const std::string& tasks) {
    return "<config><tasks>" + tasks + "</tasks></config>";
}

const std::string kDaily = "<trigger><type>daily</type><repeat_interval>1</repeat_interval></trigger>";
const std::string kCommand = "<action><type>command</type><executable>/bin/true</executable></action>";

// A task whose name, description and start are fine, with the given trigger and action text.
std::string TaskXml(const std::string& name, const std::string& trigger = kDaily,
                    const std::string& action = kCommand, const std::string& extra = "") {
    return "<task><name>" + name + "</name><description/><starting_point>100</starting_point>" + extra +
           trigger + action + "</task>";
}

std::string ExportXml(const std::string& children) {
    return "<action><type>export</type><connection_id>9b2f4c1e-1d2a-4c3b-8e5f-0a1b2c3d4e5f</connection_id>"
           "<output_path>/out</output_path><project_path>arkon://P/x</project_path>" +
           children + "</action>";
}

std::vector<std::wstring> Names(const std::vector<TaskInfo>& tasks) {
    std::vector<std::wstring> names;
    for (const TaskInfo& task : tasks) {
        names.push_back(task.name);
    }
    return names;
}

class StorageFileTest : public testing::Test {
protected:
    QTemporaryDir m_dir;
    QString Path(const char* name = "storage.xml") const { return m_dir.filePath(QString::fromLatin1(name)); }
};

} // namespace

TEST_F(StorageFileTest, WritesTheReferenceTextByteForByte) {
    ASSERT_TRUE(SaveStorageFile(Path(), TaskPointers(EveryKind())));
    const QByteArray written = ReadBytes(Path());
    EXPECT_EQ(written, ReadBytes(Fixture("every_kind.xml"))) << written.toStdString();
}

TEST_F(StorageFileTest, ReferenceFileLoadsAndIsRewrittenUnchanged) {
    const std::vector<TaskInfo> loaded = LoadStorageFile(Fixture("every_kind.xml"));
    EXPECT_EQ(loaded, EveryKind());
    ASSERT_TRUE(SaveStorageFile(Path(), TaskPointers(loaded)));
    EXPECT_EQ(ReadBytes(Path()), ReadBytes(Fixture("every_kind.xml")));
}

TEST_F(StorageFileTest, OptionGroupsAreWrittenOnlyWhenFilled) {
    TaskInfo task;
    ExportAction action;
    action.format = ExportFormat::IFC;
    action.ifc_version.clear();
    action.ifc_mapping_name = L"без кода";
    action.scheme_code = L"12";
    task.action = action;
    const std::wstring ifc = ToXml({task});
    for (const wchar_t* element : {L"ifc_version", L"ifc_mapping", L"scheme_"}) {
        EXPECT_EQ(ifc.find(element), std::wstring::npos) << element;
    }
    // An empty IFC version reads back as the default one.
    EXPECT_EQ(std::get<ExportAction>(TasksFromXml(ifc).at(0).action).ifc_version, L"4.0");

    action.format = ExportFormat::DWG;
    action.scheme_code.clear();
    action.scheme_name = L"без кода";
    task.action = action;
    EXPECT_EQ(ToXml({task}).find(L"scheme_"), std::wstring::npos);

    // A format value outside the known ones is written as an empty text and read back as MIF.
    action.format = static_cast<ExportFormat>(9);
    task.action = action;
    const std::wstring unknown = ToXml({task});
    EXPECT_NE(unknown.find(L"<format/>"), std::wstring::npos);
    EXPECT_EQ(std::get<ExportAction>(TasksFromXml(unknown).at(0).action).format, ExportFormat::MIF);
}

TEST_F(StorageFileTest, TextsSurviveARoundTripUnchanged) {
    std::vector<TaskInfo> tasks;
    for (const std::wstring& text : {std::wstring(L"  пробелы по краям  "), std::wstring(L"   "),
                                     std::wstring(L"строка 1\nстрока 2\tтаб"), std::wstring(L"<&>\"' ]]>"),
                                     std::wstring(L"😀 вне основной плоскости"), std::wstring(L"a\r\nb")}) {
        TaskInfo task;
        task.name = text;
        task.description = text;
        task.action = CommandAction{text, text, text};
        tasks.push_back(task);
    }
    ASSERT_TRUE(SaveStorageFile(Path(), TaskPointers(tasks)));
    EXPECT_EQ(LoadStorageFile(Path()), tasks);
}

TEST_F(StorageFileTest, WeekdaysAreWrittenInIsoNumbersSundayFirst) {
    TaskInfo task;
    task.trigger = WeeklyTrigger{1, {3, 0, 1}};
    const std::wstring text = ToXml({task});
    EXPECT_NE(
        text.find(L"<weekday>7</weekday>\n\t\t\t\t\t<weekday>1</weekday>\n\t\t\t\t\t<weekday>3</weekday>"),
        std::wstring::npos);
    task.trigger = WeeklyTrigger{1, {}};
    EXPECT_NE(ToXml({task}).find(L"<weekdays/>"), std::wstring::npos);
}

TEST_F(StorageFileTest, WeekdaySevenAndZeroAreOneSunday) {
    const auto tasks = FromXml(InTasks(TaskXml(
        "w", "<trigger><type>weekly</type><repeat_interval>1</repeat_interval><weekdays><weekday>7</weekday>"
             "<weekday>0</weekday><other>5</other><weekday>9</weekday></weekdays></trigger>")));
    ASSERT_EQ(tasks.size(), 1u);
    EXPECT_EQ(std::get<WeeklyTrigger>(tasks[0].trigger).weekdays, (std::set<Weekday>{0, 9}));
}

TEST_F(StorageFileTest, MissingOrOddOptionalKeysTakeTheirDefaults) {
    const auto tasks = FromXml(InTasks(
        TaskXml("one", kDaily, kCommand, "<run_only_on_working_days>1</run_only_on_working_days>") +
        TaskXml("yes", kDaily, kCommand, "<run_only_on_working_days>yes</run_only_on_working_days>") +
        TaskXml("no-format", kDaily, ExportXml("")) +
        TaskXml("lower", kDaily,
                ExportXml("<format>dxf</format><only_changed_documents>maybe</only_changed_documents>")) +
        TaskXml("ifc", kDaily, ExportXml("<format>IFC</format><scheme_code>5</scheme_code>")) +
        TaskXml("bare-command")));
    ASSERT_EQ(tasks.size(), 6u);
    EXPECT_TRUE(tasks[0].run_only_on_working_days);
    EXPECT_FALSE(tasks[1].run_only_on_working_days);
    const auto& noFormat = std::get<ExportAction>(tasks[2].action);
    EXPECT_EQ(noFormat.format, ExportFormat::MIF);
    EXPECT_TRUE(noFormat.only_changed_documents);
    EXPECT_EQ(noFormat.ifc_version, L"4.0");
    EXPECT_EQ(noFormat.scheme_code, L"");
    const auto& lower = std::get<ExportAction>(tasks[3].action);
    EXPECT_EQ(lower.format, ExportFormat::MIF);
    EXPECT_TRUE(lower.only_changed_documents);
    const auto& ifc = std::get<ExportAction>(tasks[4].action);
    EXPECT_EQ(ifc.format, ExportFormat::IFC);
    EXPECT_EQ(ifc.scheme_code, L"5"); // read even though the writer keeps only the IFC group
    const auto& command = std::get<CommandAction>(tasks[5].action);
    EXPECT_EQ(command.executable, L"/bin/true");
    EXPECT_EQ(command.arguments, L"");
    EXPECT_EQ(command.working_directory, L"");
}

TEST_F(StorageFileTest, OptionsAreWrittenOnlyWhenSetAndReadBackWhole) {
    TaskInfo plain;
    EXPECT_EQ(ToXml({plain}).find(L"options"), std::wstring::npos);
    std::vector<TaskInfo> tasks;
    const std::vector<std::function<void(TaskOptions&)>> changes = {
        [](TaskOptions& o) { o.paused = true; },
        [](TaskOptions& o) { o.retry_count = 10; },
        [](TaskOptions& o) { o.retry_interval_seconds = 10; },
        [](TaskOptions& o) { o.only_when_folders_available = true; },
        [](TaskOptions& o) { o.only_on_mains_power = true; },
        [](TaskOptions& o) {
            o = {true, 3, 3600, true, true};
        },
    };
    for (const auto& change : changes) {
        TaskInfo task;
        change(task.options);
        tasks.push_back(task);
    }
    ASSERT_TRUE(SaveStorageFile(Path(), TaskPointers(tasks)));
    EXPECT_EQ(LoadStorageFile(Path()), tasks);
    EXPECT_NE(ToXml({tasks[0]}).find(L"\t\t\t</action>\n\t\t\t<options>\n\t\t\t\t<paused>true</paused>\n"),
              std::wstring::npos);
}

TEST_F(StorageFileTest, OddOptionsKeepTheirDefaultsOrAreBroughtIntoRangeAndKeepTheTask) {
    const auto tasks = FromXml(InTasks(
        TaskXml("odd", kDaily, kCommand,
                "<options><paused>maybe</paused><retry_count>99</retry_count>"
                "<retry_interval_seconds>1</retry_interval_seconds><unknown>1</unknown></options>") +
        TaskXml("negative", kDaily, kCommand,
                "<options><retry_count>-3</retry_count><retry_interval_seconds>x</retry_interval_seconds>"
                "<only_on_mains_power>1</only_on_mains_power></options>")));
    ASSERT_EQ(tasks.size(), 2u);
    EXPECT_EQ(tasks[0].options, (TaskOptions{false, 10, 10, false, false}));
    EXPECT_EQ(tasks[1].options, (TaskOptions{false, 0, 600, false, true}));
}

TEST_F(StorageFileTest, ModificationTimesExistOnlyWhileTheOptionIsOn) {
    TaskInfo task;
    ExportAction action;
    action.only_changed_documents = false;
    action.modification_times[L"arkon://P/x/a"] = TimePointFromTicks(10'000);
    task.action = action;
    EXPECT_EQ(ToXml({task}).find(L"modification_times"), std::wstring::npos);

    const std::string times = "<modification_times><document><path>arkon://P/x/a</path>"
                              "<last_modified>10000</last_modified></document></modification_times>";
    const auto loaded = FromXml(InTasks(
        TaskXml("off", kDaily, ExportXml("<only_changed_documents>false</only_changed_documents>" + times)) +
        TaskXml("on", kDaily, ExportXml("<only_changed_documents>true</only_changed_documents>" + times))));
    ASSERT_EQ(loaded.size(), 2u);
    EXPECT_TRUE(std::get<ExportAction>(loaded[0].action).modification_times.empty());
    EXPECT_EQ(std::get<ExportAction>(loaded[1].action).modification_times,
              (ModificationTimes{{L"arkon://P/x/a", TimePointFromTicks(10'000)}}));
}

TEST_F(StorageFileTest, RepeatedDocumentKeepsItsFirstTime) {
    const auto loaded = FromXml(InTasks(TaskXml(
        "dup", kDaily,
        ExportXml(
            "<modification_times><document><path>a</path><last_modified>1</last_modified></document>"
            "<document><path>a</path><last_modified>2</last_modified></document></modification_times>"))));
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(std::get<ExportAction>(loaded[0].action).modification_times.at(L"a"), TimePointFromTicks(1));
}

TEST_F(StorageFileTest, MonthlyTaskLoadsAsDefaultDailyKeepingTheRest) {
    TaskInfo task;
    task.name = L"monthly";
    task.trigger = MonthlyTrigger{3, {1, 12}, {31}};
    task.run_only_on_working_days = true; // set directly: the record's own rule refuses it for monthly
    task.action = CommandAction{L"/bin/date", L"", L""};
    const std::wstring text = ToXml({task});
    EXPECT_NE(
        text.find(L"<months>\n\t\t\t\t\t<month>1</month>\n\t\t\t\t\t<month>12</month>\n\t\t\t\t</months>"),
        std::wstring::npos);
    const auto loaded = TasksFromXml(text);
    ASSERT_EQ(loaded.size(), 1u);
    TaskInfo expected = task;
    expected.trigger = DailyTrigger{1};
    EXPECT_EQ(loaded[0], expected);
}

TEST_F(StorageFileTest, AcceptsBlanksAfterNumbersAndOtherUuidSpellings) {
    const auto loaded = FromXml(InTasks(
        "<task><name>n</name><description/><starting_point>  123 \n\t</starting_point>" + kDaily +
        "<action><type>backup</type><connection_id>{9B2F4C1E-1D2A-4C3B-8E5F-0A1B2C3D4E5F}</connection_id>"
        "<source_path>arkon://P</source_path><destination_path>/d</destination_path></action></task>"
        "<note>not a task</note>"));
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(loaded[0].starting_point, TimePointFromTicks(123));
    EXPECT_EQ(std::get<BackupAction>(loaded[0].action).connection_id, kConnection);
}

TEST_F(StorageFileTest, BadTasksAreLeftOutAndTheOthersLoad) {
    const std::string weekly = "<trigger><type>weekly</type><repeat_interval>1</repeat_interval>";
    const std::string backup =
        "<action><type>backup</type><connection_id>9b2f4c1e-1d2a-4c3b-8e5f-0a1b2c3d4e5f"
        "</connection_id><source_path>s</source_path><destination_path>d</destination_path>";
    const std::string check = "<action><type>check</type><ids_file>i</ids_file><ifc_file>f</ifc_file>";
    const std::string document = "<modification_times><document>";
    const std::vector<std::pair<const char*, std::string>> bad = {
        {"no name", "<task><description/><starting_point>1</starting_point>" + kDaily + kCommand + "</task>"},
        {"no description",
         "<task><name>x</name><starting_point>1</starting_point>" + kDaily + kCommand + "</task>"},
        {"no start", "<task><name>x</name><description/>" + kDaily + kCommand + "</task>"},
        {"start with letters", "<task><name>x</name><description/><starting_point>12abc</starting_point>" +
                                   kDaily + kCommand + "</task>"},
        {"empty start",
         "<task><name>x</name><description/><starting_point/>" + kDaily + kCommand + "</task>"},
        {"no trigger",
         "<task><name>x</name><description/><starting_point>1</starting_point>" + kCommand + "</task>"},
        {"hourly",
         TaskXml("x", "<trigger><type>hourly</type><repeat_interval>1</repeat_interval></trigger>")},
        {"type in capitals",
         TaskXml("x", "<trigger><type>Daily</type><repeat_interval>1</repeat_interval></trigger>")},
        {"no interval", TaskXml("x", "<trigger><type>daily</type></trigger>")},
        {"interval too large",
         TaskXml("x", "<trigger><type>daily</type><repeat_interval>2147483648</repeat_interval></trigger>")},
        {"weekday not a number",
         TaskXml("x", weekly + "<weekdays><weekday>Mo</weekday></weekdays></trigger>")},
        {"negative weekday", TaskXml("x", weekly + "<weekdays><weekday>-1</weekday></weekdays></trigger>")},
        {"monthly with a bad day",
         TaskXml("x",
                 "<trigger><type>monthly</type><repeat_interval>1</repeat_interval><days><day>x</day></days>"
                 "</trigger>")},
        {"no action", TaskXml("x", kDaily, "")},
        {"unknown action", TaskXml("x", kDaily, "<action><type>print</type></action>")},
        {"connection id not a uuid",
         TaskXml(
             "x", kDaily,
             "<action><type>backup</type><connection_id>Проекты</connection_id><source_path>s</source_path>"
             "<destination_path>d</destination_path></action>")},
        {"backup without source", TaskXml("x", kDaily,
                                          "<action><type>backup</type><connection_id>9b2f4c1e-1d2a-4c3b-8e5f-"
                                          "0a1b2c3d4e5f</connection_id><destination_path>d</destination_path>"
                                          "</action>")},
        {"export without project",
         TaskXml(
             "x", kDaily,
             "<action><type>export</type><connection_id>9b2f4c1e-1d2a-4c3b-8e5f-0a1b2c3d4e5f</connection_id>"
             "<output_path>/o</output_path></action>")},
        {"document without time", TaskXml("x", kDaily,
                                          ExportXml(document + "<path>a</path></document>"
                                                               "</modification_times>"))},
        {"document without path",
         TaskXml("x", kDaily,
                 ExportXml(document + "<last_modified>1</last_modified></document></modification_times>"))},
        {"time with letters", TaskXml("x", kDaily,
                                      ExportXml(document + "<path>a</path><last_modified>1x"
                                                           "</last_modified></document>"
                                                           "</modification_times>"))},
        {"command without executable", TaskXml("x", kDaily, "<action><type>command</type></action>")},
        {"check without mode", TaskXml("x", kDaily, check + "<ifc_file_mode>true</ifc_file_mode></action>")},
        {"check mode yes",
         TaskXml("x", kDaily,
                 check + "<ids_file_mode>yes</ids_file_mode><ifc_file_mode>1</ifc_file_mode>"
                         "</action>")},
    };
    ASSERT_EQ(FromXml(InTasks(TaskXml("backup", kDaily, backup + "</action>"))).size(), 1u);
    for (const auto& [why, task] : bad) {
        SCOPED_TRACE(why);
        const auto loaded = FromXml(InTasks(TaskXml("before") + task + TaskXml("after")));
        EXPECT_EQ(Names(loaded), (std::vector<std::wstring>{L"before", L"after"}));
    }
}

// Regression (fuzzing): "&#0;" put a NUL into a value, the next save wrote it raw, and the XML parser stops
// at a NUL, so the file after that save loaded no task at all.
TEST_F(StorageFileTest, ValueWithANulCharacterReferenceLeavesItsTaskOut) {
    const std::string withNul[] = {
        TaskXml("a&#0;b"),
        TaskXml("x", kDaily,
                "<action><type>command</type><executable>/bin/true</executable>"
                "<arguments>&#x0;</arguments></action>"),
        TaskXml("x", kDaily,
                ExportXml("<modification_times><document><path>&#0;</path><last_modified>1</last_modified>"
                          "</document></modification_times>")),
    };
    for (const std::string& task : withNul) {
        SCOPED_TRACE(task);
        const auto loaded = FromXml(InTasks(TaskXml("before") + task + TaskXml("after")));
        EXPECT_EQ(Names(loaded), (std::vector<std::wstring>{L"before", L"after"}));
        ASSERT_TRUE(SaveStorageFile(Path(), TaskPointers(loaded)));
        EXPECT_EQ(LoadStorageFile(Path()), loaded);
    }
    // Other control characters pass the parser and come back as they were.
    const auto control = FromXml(InTasks(TaskXml("a&#1;&#13;b")));
    ASSERT_EQ(Names(control), std::vector<std::wstring>{L"a\x01\rb"});
    ASSERT_TRUE(SaveStorageFile(Path(), TaskPointers(control)));
    EXPECT_EQ(LoadStorageFile(Path()), control);
}

TEST_F(StorageFileTest, FileBytesAreReadAsQtsUtf8CodecReadsThem) {
    // The file's own decoder takes eight ASCII bytes at a time and Cyrillic in a short way: names that
    // put a NUL, a multi-byte character or a malformed one at each place of an eight-byte run, or at the
    // very end of the file, must read as the codec reads them.
    std::vector<std::string> names = {"", "Документ Проекта", "€ и 😀", "\xDF\xBF\xC2\x80"};
    for (const std::string& odd :
         {std::string(1, '\0'), std::string("\xD0\x96"), std::string("\xC0\x80"), std::string("\xC2"),
          std::string("\xED\xA0\x80"), std::string("\xEF\xB7\x90"), std::string("\xF4\x90\x80\x80"),
          std::string("\x80")}) {
        for (std::size_t at = 0; at <= 9; ++at) {
            names.push_back(std::string("abcdefghijkl").insert(at, odd));
        }
    }
    std::vector<std::string> files;
    for (const std::string& name : names) {
        files.push_back(InTasks(TaskXml(name) + TaskXml("после")));
    }
    files.push_back(InTasks(TaskXml("в конце")) + "<!--Ж-->");
    files.push_back(InTasks(TaskXml("в конце")) + "<!--\xD0-->");
    for (const std::string& file : files) {
        SCOPED_TRACE(testing::PrintToString(file));
        const QByteArray bytes = QByteArray::fromStdString(file);
        QFile written(Path());
        ASSERT_TRUE(written.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(written.write(bytes), bytes.size());
        written.close();
        std::optional<StorageDamage> expectedDamage;
        const std::vector<TaskInfo> expected =
            TasksFromXml(QTextCodec::codecForName("UTF-8")->toUnicode(bytes).toStdWString(), expectedDamage);
        const StorageContents read = InspectStorageFile(Path());
        EXPECT_EQ(Names(read.tasks), Names(expected));
        // Bytes that are not UTF-8 are a damage of their own; any other is the text's.
        if (expectedDamage) {
            EXPECT_TRUE(read.damage.has_value());
        }
        if (read.damage && read.damage->kind != StorageDamage::Kind::NotUtf8) {
            ASSERT_TRUE(expectedDamage.has_value());
            EXPECT_EQ(read.damage->kind, expectedDamage->kind);
        }
    }
}

TEST_F(StorageFileTest, FileOfMegabytesLoadsWhole) {
    // Its text is decoded into memory asked of the system in large pages, not from the heap.
    TaskInfo task;
    task.name = L"Экспорт";
    ExportAction action;
    action.project_path = L"arkon://Проекты/Большой проект";
    for (int d = 0; d < 30'000; ++d) {
        action.modification_times.emplace(action.project_path + L"/Документ " + std::to_wstring(d),
                                          TimePointFromTicks(17'000'000'000'000'000 + d * 10'000));
    }
    task.action = action;
    const std::vector<TaskInfo> tasks{task};
    ASSERT_TRUE(SaveStorageFile(Path(), TaskPointers(tasks)));
    ASSERT_GT(QFileInfo(Path()).size(), 2 << 20);
    EXPECT_EQ(LoadStorageFile(Path()), tasks);
}

TEST_F(StorageFileTest, DamagedOrMissingFilesGiveNoTasksAndAreNotWritten) {
    const std::vector<std::pair<const char*, QByteArray>> damaged = {
        {"empty", ""},
        {"not xml", "это не XML"},
        {"cut short", "<?xml version=\"1.0\"?>\n<config><tasks><task><name>a</name>"},
        {"no tasks element", "<config><jobs/></config>"},
        {"other root", "<settings><tasks/></settings>"},
        // Regression (fuzzing): the parser, and the tree it fills, recursed once per level and a deeply
        // nested damaged file overflowed the stack at every start.
        {"nested 300000 deep", QByteArray("<config><tasks>") + QByteArray("<task>").repeated(300'000)},
    };
    for (const auto& [why, content] : damaged) {
        SCOPED_TRACE(why);
        QFile file(Path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
        file.close();
        EXPECT_TRUE(LoadStorageFile(Path()).empty());
        EXPECT_EQ(ReadBytes(Path()), content);
    }
    const QString missing = m_dir.filePath(QStringLiteral("new/folder/storage.xml"));
    EXPECT_TRUE(LoadStorageFile(missing).empty());
    EXPECT_TRUE(QDir(m_dir.filePath(QStringLiteral("new/folder"))).exists());
    EXPECT_FALSE(QFile::exists(missing));
}

TEST_F(StorageFileTest, SaveAfterALoadThatSkippedATaskLeavesItOut) {
    QFile file(Path());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray::fromStdString(InTasks(TaskXml("first") + TaskXml("bad", "") + TaskXml("second"))));
    file.close();
    const auto loaded = LoadStorageFile(Path());
    ASSERT_TRUE(SaveStorageFile(Path(), TaskPointers(loaded)));
    EXPECT_EQ(Names(LoadStorageFile(Path())), (std::vector<std::wstring>{L"first", L"second"}));
    EXPECT_FALSE(ReadBytes(Path()).contains("bad"));
}

TEST_F(StorageFileTest, FolderThatCannotBeMadeFailsTheSaveWithAReason) {
    QFile blocker(Path("blocker"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString path = m_dir.filePath(QStringLiteral("blocker/sub/storage.xml"));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(SaveStorageFile(path, TaskPointers(EveryKind())));
    EXPECT_TRUE(LoadStorageFile(path).empty());
    const std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_NE(printed.find("blocker"), std::string::npos) << printed;
}

TEST_F(StorageFileTest, FailedWriteLeavesThePreviousFileIntact) {
    ASSERT_TRUE(SaveStorageFile(Path(), TaskPointers(EveryKind())));
    const QByteArray previous = ReadBytes(Path());

    // A file-size limit below the new text makes the write fail part-way, as a full disk would.
    std::vector<TaskInfo> many(200, EveryKind()[1]);
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = static_cast<rlim_t>(previous.size());
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    testing::internal::CaptureStderr();
    const bool saved = SaveStorageFile(Path(), TaskPointers(many));
    const std::string printed = testing::internal::GetCapturedStderr();
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(saved);
    EXPECT_FALSE(printed.empty());
    EXPECT_EQ(ReadBytes(Path()), previous);
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("storage.xml")});
}

namespace {

QStringList DamagedCopies(const QTemporaryDir& dir) {
    return QDir(dir.path())
        .entryList({QStringLiteral("storage.xml.damaged-*")}, QDir::AllEntries, QDir::Name);
}

void WriteBytes(const QString& path, const QByteArray& content) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

} // namespace

TEST_F(StorageFileTest, DamagedFileIsKeptAsReadBeforeAnythingReplacesIt) {
    const QByteArray good = QByteArray::fromStdString(InTasks(TaskXml("first")));
    const struct {
        const char* why;
        QByteArray content;
        StorageDamage::Kind kind;
        std::vector<std::wstring> loaded;
    } cases[] = {
        {"cut short", good.chopped(9), StorageDamage::Kind::Malformed, {}},
        {"no task list", "<config><jobs/></config>", StorageDamage::Kind::NoTaskList, {}},
        {"a bad task",
         QByteArray::fromStdString(InTasks(TaskXml("first") + TaskXml("bad", "") + TaskXml("third"))),
         StorageDamage::Kind::TasksLeftOut,
         {L"first", L"third"}},
        {"not UTF-8",
         QByteArray::fromStdString(InTasks(TaskXml("a\xff"))),
         StorageDamage::Kind::NotUtf8,
         {L"a\xfffd"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("storage.xml"));
        WriteBytes(path, c.content);
        const QFileDevice::Permissions privateMode = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
        QFile::setPermissions(path, privateMode);
        testing::internal::CaptureStderr();
        const StorageContents loaded = LoadStorageFileKeepingDamage(path);
        const std::string printed = testing::internal::GetCapturedStderr();
        EXPECT_EQ(Names(loaded.tasks), c.loaded);
        ASSERT_TRUE(loaded.damage);
        EXPECT_EQ(loaded.damage->kind, c.kind);
        EXPECT_TRUE(QRegularExpression(QStringLiteral(R"(/storage\.xml\.damaged-\d{8}-\d{6}$)"))
                        .match(loaded.damage->keptAs)
                        .hasMatch())
            << loaded.damage->keptAs.toStdString();
        EXPECT_EQ(ReadBytes(loaded.damage->keptAs), c.content);
        EXPECT_EQ(QFile::permissions(loaded.damage->keptAs) &
                      ~(QFileDevice::ReadUser | QFileDevice::WriteUser),
                  privateMode);
        EXPECT_EQ(ReadBytes(path), c.content);
        EXPECT_NE(printed.find(loaded.damage->keptAs.toStdString()), std::string::npos) << printed;
        EXPECT_NE(printed.find(loaded.damage->detail.toStdString()), std::string::npos) << printed;
        // The same damage at the next start makes no second copy.
        EXPECT_EQ(LoadStorageFileKeepingDamage(path).damage->keptAs, loaded.damage->keptAs);
        EXPECT_EQ(DamagedCopies(dir).size(), 1);
    }
    WriteBytes(Path(), good);
    EXPECT_FALSE(LoadStorageFileKeepingDamage(Path()).damage);
    EXPECT_FALSE(LoadStorageFileKeepingDamage(Path("missing.xml")).damage);
    EXPECT_TRUE(DamagedCopies(m_dir).isEmpty());
}

TEST_F(StorageFileTest, CopiesOfDamagedFilesAreNeverWrittenOver) {
    // Another content under every name this second and the next two could give.
    const QByteArray earlier = "earlier damage";
    for (int second = 0; second < 3; ++second) {
        const TimePoint time = CurrentTime() + Ticks{second * kTicksPerSecond};
        WriteBytes(Path() + QStringLiteral(".damaged-") +
                       LocalDateTimeText(time, QStringLiteral("yyyyMMdd-hhmmss")),
                   earlier);
    }
    WriteBytes(Path(), "<config>");
    testing::internal::CaptureStderr();
    const StorageContents loaded = LoadStorageFileKeepingDamage(Path());
    testing::internal::GetCapturedStderr();
    ASSERT_TRUE(loaded.damage);
    EXPECT_TRUE(loaded.damage->keptAs.endsWith(QStringLiteral("-2"))) << loaded.damage->keptAs.toStdString();
    EXPECT_EQ(ReadBytes(loaded.damage->keptAs), "<config>");
    const QStringList copies = DamagedCopies(m_dir);
    ASSERT_EQ(copies.size(), 4);
    for (const QString& name : copies) {
        if (m_dir.filePath(name) != loaded.damage->keptAs) {
            EXPECT_EQ(ReadBytes(m_dir.filePath(name)), earlier) << name.toStdString();
        }
    }
}

TEST_F(StorageFileTest, FileThatCannotBeReadIsMovedAside) {
    // A folder in its place cannot be read even by root; its contents go along with it.
    ASSERT_TRUE(QDir().mkpath(Path() + QStringLiteral("/inside")));
    testing::internal::CaptureStderr();
    const StorageContents loaded = LoadStorageFileKeepingDamage(Path());
    const std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(loaded.tasks.empty());
    ASSERT_TRUE(loaded.damage);
    EXPECT_EQ(loaded.damage->kind, StorageDamage::Kind::Unreadable);
    EXPECT_FALSE(QFileInfo::exists(Path()));
    EXPECT_TRUE(QFileInfo::exists(loaded.damage->keptAs + QStringLiteral("/inside")));
    EXPECT_NE(printed.find(loaded.damage->keptAs.toStdString()), std::string::npos) << printed;
}
