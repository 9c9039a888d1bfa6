// The words and the record of a backup's end.
#include "BackupResult.h"

#include <QCoreApplication>
#include <QLocale>
#include <QStringList>

namespace {

QString Tr(const char* text) {
    return QCoreApplication::translate("TaskStorage", text);
}

QString Wide(const std::wstring& text) {
    return QString::fromStdWString(text);
}

// The line stays one line of a log: a few names tell where to look.
QString Named(const QString& what, const std::vector<std::wstring>& paths) {
    constexpr std::size_t kNamed = 3;
    QStringList names;
    for (std::size_t i = 0; i < paths.size() && i < kNamed; ++i) {
        names << Tr("«%1»").arg(Wide(paths[i]));
    }
    QString text = what.arg(names.join(QStringLiteral(", ")));
    if (paths.size() > kNamed) {
        text += Tr(" и ещё %1").arg(paths.size() - kNamed);
    }
    return text;
}

// What was left out, as the line names it: "место в копии занято: «a.dwg»; не прочитаны: «b.dwg»".
QString LeftOut(const BackupResult& result) {
    QStringList parts;
    if (!result.blocked.empty()) {
        parts << Named(Tr("место в копии занято: %1"), result.blocked);
    }
    if (!result.unreadable.empty()) {
        parts << Named(Tr("не прочитаны: %1"), result.unreadable);
    }
    return parts.join(QStringLiteral("; "));
}

} // namespace

QString MegabytesText(std::uint64_t bytes) {
    constexpr double kBytesPerMegabyte = 1024.0 * 1024.0;
    return Tr("%1 МБ").arg(QLocale().toString(static_cast<double>(bytes) / kBytesPerMegabyte, 'f', 1));
}

QString BackupResultLine(const BackupResult& result) {
    if (result.outcome != BackupOutcome::Copied && result.outcome != BackupOutcome::Warnings) {
        return Tr("Резервное копирование не выполнено: %1").arg(Wide(result.reason));
    }
    const QString head = result.outcome == BackupOutcome::Warnings
                             ? Tr("Резервное копирование завершено с предупреждениями: скопировано "
                                  "документов: %1 (%2)")
                             : Tr("Резервное копирование завершено: скопировано документов: %1 (%2)");
    QString line = head.arg(result.copied).arg(MegabytesText(result.copied_bytes));
    if (result.unchanged > 0) {
        line += Tr(", без изменений: %1").arg(result.unchanged);
    }
    if (result.skipped > 0) {
        line += Tr(", пропущено: %1").arg(result.skipped);
    }
    if (const QString leftOut = LeftOut(result); !leftOut.isEmpty()) {
        line += QStringLiteral(" (%1)").arg(leftOut);
    }
    return line + QLatin1Char('.');
}

RunResult BackupRunResult(const BackupResult& result) {
    RunResult run;
    run.done = static_cast<std::int64_t>(result.copied);
    run.failed = static_cast<std::int64_t>(result.failed);
    run.skipped = static_cast<std::int64_t>(result.skipped);
    run.unchanged = static_cast<std::int64_t>(result.unchanged);
    run.bytes = result.copied_bytes;
    switch (result.outcome) {
    case BackupOutcome::Copied:
        break;
    case BackupOutcome::Warnings: {
        // The reading error says most; otherwise what stood in the way, or that something was left out.
        QString first = Wide(result.first_read_error);
        if (first.isEmpty()) {
            first = LeftOut(result);
        }
        if (first.isEmpty()) {
            first = Tr("пропущено документов: %1").arg(result.skipped);
        }
        run.Raise(RunOutcome::Warnings, first.toStdWString());
        break;
    }
    case BackupOutcome::Stopped:
        run.Raise(RunOutcome::Interrupted, result.reason);
        break;
    case BackupOutcome::SourceNotFound:
    case BackupOutcome::Failed:
        run.Raise(RunOutcome::Failed, result.reason);
        break;
    }
    return run;
}
