// Reading the options. Done before any application object exists, so that a command needs no display
// and never starts the scheduler.
#include "CommandLine.h"

#include "TerminalText.h"

#include <QCoreApplication>

#include <optional>
#include <utility>

namespace {

const char* const kContext = "CommandLine";

QString tr(const char* text) {
    return QCoreApplication::translate(kContext, text);
}

// Options the application object of a graphical Qt program takes itself, with whether a value follows.
bool IsQtOption(const QString& argument, bool& takesValue) {
    static const QStringList withValue{
        QStringLiteral("-platform"),        QStringLiteral("-platformpluginpath"),
        QStringLiteral("-platformtheme"),   QStringLiteral("-plugin"),
        QStringLiteral("-qwindowgeometry"), QStringLiteral("-qwindowicon"),
        QStringLiteral("-qwindowtitle"),    QStringLiteral("-session"),
        QStringLiteral("-style"),           QStringLiteral("-stylesheet"),
        QStringLiteral("-display"),         QStringLiteral("-geometry"),
        QStringLiteral("-title"),           QStringLiteral("-name")};
    static const QStringList flags{QStringLiteral("-reverse"), QStringLiteral("-widgetcount"),
                                   QStringLiteral("-nograb"), QStringLiteral("-dograb"),
                                   QStringLiteral("-sync")};
    takesValue = withValue.contains(argument);
    return takesValue || flags.contains(argument);
}

// The commands that name a task, each with its command.
std::optional<CommandLine::Command> TaskCommand(const QString& option) {
    using C = CommandLine::Command;
    static const std::pair<QString, C> commands[] = {{QStringLiteral("--history"), C::History},
                                                     {QStringLiteral("--run"), C::Run},
                                                     {QStringLiteral("--pause"), C::Pause},
                                                     {QStringLiteral("--resume"), C::Resume}};
    for (const auto& [name, command] : commands) {
        if (option == name) {
            return command;
        }
    }
    return std::nullopt;
}

// Whether --json is among the options, wherever it is (a bad option before it too): the errors are then
// JSON as well. The argument after a command that names a task is a name, whatever it is.
bool AsksForJson(const QStringList& arguments) {
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (argument == QStringLiteral("--json")) {
            return true;
        }
        i += TaskCommand(argument) ? 1 : 0;
    }
    return false;
}

} // namespace

CommandLine ParseCommandLine(const QStringList& arguments) {
    CommandLine result;
    bool help = false;
    bool version = false;
    QStringList commands;
    const bool json = AsksForJson(arguments);
    const auto badUsage = [json](const QString& error) {
        CommandLine bad;
        bad.command = CommandLine::Command::BadUsage;
        bad.json = json;
        bad.error = error;
        return bad;
    };
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        QString option = argument;
        std::optional<QString> value;
        const int equals = argument.indexOf(u'=');
        if (argument.startsWith(QStringLiteral("--")) && equals > 2) {
            option = argument.left(equals);
            value = argument.mid(equals + 1);
        }
        bool qtValue = false;
        if (const std::optional<CommandLine::Command> command = TaskCommand(option)) {
            commands << option;
            result.command = *command;
            // The next argument is taken as it is, so that a name beginning with "-" can be given too.
            if (!value && i + 1 < arguments.size()) {
                value = arguments.at(++i);
            }
            if (!value || value->isEmpty()) {
                return badUsage(tr("после %1 нужно имя задачи").arg(option));
            }
            result.taskName = *value;
        } else if (value) {
            return badUsage(tr("неизвестный параметр «%1»").arg(TerminalText(argument)));
        } else if (argument == QStringLiteral("--list")) {
            commands << argument;
            result.command = CommandLine::Command::List;
        } else if (argument == QStringLiteral("--background")) {
            commands << argument;
            result.command = CommandLine::Command::Background;
        } else if (argument == QStringLiteral("--json")) {
            result.json = true;
        } else if (argument == QStringLiteral("--help") || argument == QStringLiteral("-h")) {
            help = true;
        } else if (argument == QStringLiteral("--version")) {
            version = true;
        } else if (IsQtOption(argument, qtValue)) {
            i += qtValue ? 1 : 0;
        } else if (argument.startsWith(u'-')) {
            return badUsage(tr("неизвестный параметр «%1»").arg(TerminalText(argument)));
        } else {
            return badUsage(tr("лишний аргумент «%1»").arg(TerminalText(argument)));
        }
    }
    if (help) {
        return CommandLine{CommandLine::Command::Help, {}, false, {}};
    }
    if (commands.size() + (version ? 1 : 0) > 1) {
        return badUsage(
            tr("можно указать только одно из --list, --history, --run, --pause, --resume, --background и "
               "--version"));
    }
    if (version) {
        result.command = CommandLine::Command::Version;
    }
    if (result.json && (result.command == CommandLine::Command::StartProgram ||
                        result.command == CommandLine::Command::Background ||
                        result.command == CommandLine::Command::Version)) {
        return badUsage(tr("--json относится к --list, --history, --run, --pause и --resume"));
    }
    return result;
}

QString UsageText() {
    return tr("Использование: zelkor-scheduler [ПАРАМЕТР]\n"
              "\n"
              "Без параметров запускает планировщик, а если он уже запущен,\n"
              "показывает его окно.\n"
              "\n"
              "  --list         задачи: номер, имя, расписание, следующий и последний\n"
              "                 запуск, результат\n"
              "  --history ИМЯ  запуски задачи из журнала запусков и файл её журнала\n"
              "  --run ИМЯ      выполнить задачу сейчас в запущенном планировщике\n"
              "  --pause ИМЯ    приостановить задачу: запуски по расписанию не выполняются\n"
              "  --resume ИМЯ   возобновить приостановленную задачу\n"
              "                 Вместо имени можно указать номер задачи в --list: @3\n"
              "                 (так различаются задачи с одинаковыми именами).\n"
              "  --json         вывод --list, --history, --run, --pause и --resume в\n"
              "                 формате JSON; ошибки тоже в JSON: {\"error\": \"…\"}\n"
              "                 в поток ошибок\n"
              "  --background   выполнять задачи без окна (так запускает служба\n"
              "                 пользователя systemd); пока открыто окно программы,\n"
              "                 задачи выполняет оно, а фоновый режим ждёт\n"
              "  -h, --help     эта справка\n"
              "  --version      версия программы\n"
              "\n"
              "Когда планировщик не запущен, --list и --history читают файл задач\n"
              "и журнал запусков, а --pause и --resume изменяют файл задач.\n"
              "Коды завершения: 0 — выполнено, 1 — ошибка (причина выводится в поток\n"
              "ошибок), 2 — неверные параметры.\n");
}
