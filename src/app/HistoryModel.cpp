// The run history's cells: local times, durations, how a run came about, what it counted.
#include "HistoryModel.h"

#include "model/LocalDateTime.h"
#include "model/PluralForm.h"
#include "scheduler/StatusWords.h"

#include <QLocale>

namespace {

QString TimeText(TimePoint time) {
    return LocalDateTimeText(time, QStringLiteral("dd.MM.yyyy hh:mm:ss"));
}

} // namespace

TimePoint HistoryModel::shownTime(const JournalRun& run) {
    return (run.how == RunStart::Missed || run.how == RunStart::Skipped) && run.slot ? *run.slot : run.start;
}

void HistoryModel::setRuns(std::vector<JournalRun> runs) {
    beginResetModel();
    m_runs = std::move(runs);
    endResetModel();
}

int HistoryModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_runs.size());
}

int HistoryModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant HistoryModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const JournalRun& run = m_runs[static_cast<std::size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        return text(run, index.column());
    case Qt::DecorationRole:
        if (index.column() == ResultColumn) {
            const QIcon icon = m_icons.of(run.result.outcome);
            return icon.isNull() ? QVariant() : icon;
        }
        return {};
    case Qt::ToolTipRole:
        if (index.column() == HowColumn && run.how == RunStart::Missed) {
            return tr("Последний пропущенный запуск — %1; программа не работала. Обнаружено при её запуске "
                      "%2.")
                .arg(TimeText(shownTime(run)), TimeText(run.start));
        }
        if (index.column() == HowColumn && run.how == RunStart::Skipped) {
            return tr("Запуск по расписанию %1 ждал, пока выполнятся условия запуска, и пропущен %2: "
                      "подошёл следующий запуск.")
                .arg(TimeText(shownTime(run)), TimeText(run.start));
        }
        if (index.column() == DocumentsColumn) {
            const QString counts = countsText(run.result);
            return counts.isEmpty() ? QVariant() : counts;
        }
        if (index.column() == ErrorColumn && !run.result.firstError.empty()) {
            return text(run, index.column());
        }
        return {};
    case Qt::TextAlignmentRole:
        if (index.column() == DurationColumn || index.column() == BytesColumn) {
            return QVariant(Qt::AlignRight | Qt::AlignVCenter);
        }
        return {};
    default:
        return {};
    }
}

QString HistoryModel::text(const JournalRun& run, int column) const {
    switch (column) {
    case StartColumn:
        return TimeText(shownTime(run));
    case DurationColumn:
        if (const std::optional<Ticks> length = duration(run)) {
            return durationText(*length);
        }
        return {};
    case HowColumn:
        return howText(run);
    case ResultColumn:
        return OutcomeText(run.result.outcome);
    case DocumentsColumn:
        return documentsText(run.result);
    case BytesColumn:
        return bytesText(run.result.bytes);
    case ErrorColumn:
        if (run.result.firstError.empty() && run.result.outcome == RunOutcome::Interrupted) {
            return tr("программа была остановлена до окончания запуска");
        }
        return QString::fromStdWString(run.result.firstError);
    default:
        return {};
    }
}

QVariant HistoryModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    switch (section) {
    case StartColumn:
        return tr("Начало");
    case DurationColumn:
        return tr("Длительность");
    case HowColumn:
        return tr("Запуск");
    case ResultColumn:
        return tr("Результат");
    case DocumentsColumn:
        return tr("Документы");
    case BytesColumn:
        return tr("Объём");
    case ErrorColumn:
        return tr("Первая ошибка");
    default:
        return {};
    }
}

std::optional<Ticks> HistoryModel::duration(const JournalRun& run) {
    // An interrupted run ended when the program did, which says nothing of how long it would have taken.
    if (run.how == RunStart::Missed || run.how == RunStart::Skipped ||
        run.result.outcome == RunOutcome::Interrupted || run.result.outcome == RunOutcome::Running ||
        !run.end || *run.end < run.start) {
        return std::nullopt;
    }
    return *run.end - run.start;
}

QString HistoryModel::durationText(Ticks duration) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(duration).count();
    if (seconds < 1) {
        return tr("< 1 с");
    }
    if (seconds < 60) {
        return tr("%1 с").arg(seconds);
    }
    const auto two = [](std::int64_t n) { return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')); };
    if (seconds < 3600) {
        return tr("%1 мин %2 с").arg(seconds / 60).arg(two(seconds % 60));
    }
    return tr("%1 ч %2 мин").arg(seconds / 3600).arg(two(seconds / 60 % 60));
}

QString HistoryModel::howText(const JournalRun& run) {
    switch (run.how) {
    case RunStart::Timed:
        return tr("по расписанию");
    case RunStart::RunNow:
        return tr("вручную");
    case RunStart::CatchUp:
        return tr("пропущенный запуск");
    case RunStart::Retry:
        return tr("повторная попытка");
    case RunStart::Skipped:
        return tr("пропущен, условия не выполнены");
    case RunStart::Missed:
        break;
    }
    switch (PluralFormOf(static_cast<int>(std::min<std::int64_t>(run.missed, 1'000'000)))) {
    case PluralForm::One:
    case PluralForm::SingularNumbered:
        return tr("пропущен %1 запуск").arg(run.missed);
    case PluralForm::Few:
        return tr("пропущено %1 запуска").arg(run.missed);
    case PluralForm::Many:
        break;
    }
    return tr("пропущено %1 запусков").arg(run.missed);
}

QString HistoryModel::documentsText(const RunResult& result) {
    const QLocale locale;
    const auto number = [&locale](std::int64_t n) { return locale.toString(static_cast<qlonglong>(n)); };
    const std::int64_t total = result.done + result.failed + result.skipped + result.unchanged;
    if (total == 0) {
        return {};
    }
    QStringList parts{total == result.done ? number(total)
                                           : tr("%1 из %2").arg(number(result.done), number(total))};
    if (result.failed > 0) {
        parts << tr("с ошибкой: %1").arg(number(result.failed));
    }
    if (result.skipped > 0) {
        parts << tr("пропущено: %1").arg(number(result.skipped));
    }
    return parts.join(QStringLiteral(", "));
}

QString HistoryModel::countsText(const RunResult& result) {
    const QLocale locale;
    QStringList parts;
    const auto add = [&](const QString& word, std::int64_t count) {
        if (count > 0) {
            parts << QStringLiteral("%1: %2").arg(word, locale.toString(static_cast<qlonglong>(count)));
        }
    };
    add(tr("обработано"), result.done);
    add(tr("с ошибкой"), result.failed);
    add(tr("пропущено"), result.skipped);
    add(tr("без изменений"), result.unchanged);
    return parts.join(QStringLiteral(", "));
}

QString HistoryModel::bytesText(std::uint64_t bytes) {
    if (bytes == 0) {
        return {};
    }
    const QLocale locale;
    if (bytes < 1024) {
        return tr("%1 байт").arg(locale.toString(static_cast<qulonglong>(bytes)));
    }
    const char* const units[] = {"КБ", "МБ", "ГБ", "ТБ"};
    double value = static_cast<double>(bytes) / 1024.0;
    std::size_t unit = 0;
    while (value >= 1024.0 && unit + 1 < std::size(units)) {
        value /= 1024.0;
        ++unit;
    }
    return QStringLiteral("%1 %2").arg(locale.toString(value, 'f', 1), tr(units[unit]));
}
