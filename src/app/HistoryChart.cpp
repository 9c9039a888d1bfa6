// The run history's chart: its scales, its painting and the tool tips of its points.
#include "HistoryChart.h"

#include "HistoryModel.h"
#include "model/LocalDateTime.h"
#include "scheduler/StatusWords.h"

#include <QHelpEvent>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

// The outcomes in the order of the legend.
constexpr std::array kOutcomes = {RunOutcome::Succeeded,     RunOutcome::Warnings,    RunOutcome::Failed,
                                  RunOutcome::LimitExceeded, RunOutcome::Interrupted, RunOutcome::Missed,
                                  RunOutcome::Running};

constexpr double kMarker = 4.5; // a point's radius
constexpr int kGap = 6;

bool HasLength(RunOutcome outcome) {
    return outcome != RunOutcome::Missed && outcome != RunOutcome::Interrupted &&
           outcome != RunOutcome::Running;
}

// 1, 2 or 5 times a power of ten: about four lines up to `longest`.
double NiceStep(double longest) {
    const double raw = longest / 4;
    if (raw <= 0) {
        return 1;
    }
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double m : {1.0, 2.0, 5.0}) {
        if (m * magnitude >= raw) {
            return m * magnitude;
        }
    }
    return 10 * magnitude;
}

} // namespace

HistoryChart::HistoryChart(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QSize HistoryChart::sizeHint() const {
    return {600, 220};
}

QSize HistoryChart::minimumSizeHint() const {
    return {300, 140};
}

QColor HistoryChart::colour(RunOutcome outcome) {
    switch (outcome) {
    case RunOutcome::Succeeded:
        return {0x2e, 0x9b, 0x47};
    case RunOutcome::Warnings:
        return {0xe0, 0x98, 0x10};
    case RunOutcome::Failed:
        return {0xd2, 0x3c, 0x32};
    case RunOutcome::LimitExceeded:
        return {0x8c, 0x1c, 0x5c};
    case RunOutcome::Running:
        return {0x2f, 0x74, 0xc0};
    case RunOutcome::Interrupted:
        return {0x70, 0x70, 0x70};
    default:
        return {0xb0, 0xb0, 0xb0};
    }
}

void HistoryChart::setRuns(const std::vector<JournalRun>& runs) {
    m_points.clear();
    m_points.reserve(runs.size());
    double longest = 0;
    for (auto it = runs.rbegin(); it != runs.rend(); ++it) {
        const std::optional<Ticks> length = HistoryModel::duration(*it);
        const std::optional<double> seconds =
            length ? std::optional<double>(std::chrono::duration<double>(*length).count()) : std::nullopt;
        // A missed or skipped row stands where its slot was, as the list shows it.
        m_points.push_back({HistoryModel::shownTime(*it), seconds, it->result.outcome});
        longest = std::max(longest, seconds.value_or(0));
    }
    if (longest <= 120) {
        m_unitSeconds = 1;
        m_unit = tr("с");
    } else if (longest <= 2 * 3600) {
        m_unitSeconds = 60;
        m_unit = tr("мин");
    } else {
        m_unitSeconds = 3600;
        m_unit = tr("ч");
    }
    m_step = NiceStep(longest / m_unitSeconds);
    m_steps = std::max(1, static_cast<int>(std::ceil(longest / m_unitSeconds * 1.05 / m_step)));
    if (!m_points.empty()) {
        const auto [first, last] = std::minmax_element(
            m_points.begin(), m_points.end(), [](const Point& a, const Point& b) { return a.time < b.time; });
        // Room beside the first and last points: a thirtieth of their span, at least a minute. An hour,
        // as it once was, squeezed runs a minute apart into one blob in the middle.
        const Ticks margin = std::max<Ticks>((last->time - first->time) / 30, std::chrono::minutes(1));
        m_first = first->time - margin;
        m_last = last->time + margin;
    }
    update();
}

double HistoryChart::top() const {
    return m_step * m_steps;
}

QRectF HistoryChart::plotArea() const {
    const QFontMetrics metrics = fontMetrics();
    const QLocale locale;
    int labels = metrics.horizontalAdvance(m_unit);
    for (int i = 0; i <= m_steps; ++i) {
        labels = std::max(labels, metrics.horizontalAdvance(locale.toString(i * m_step, 'g', 4)));
    }
    const double left = labels + 2 * kGap;
    const double topEdge = metrics.height() + 2 * kGap;
    const double bottom = metrics.height() + kGap + 4;
    const double right = metrics.horizontalAdvance(QStringLiteral("00.00 00:00")) / 2.0;
    return QRectF(left, topEdge, std::max(1.0, width() - left - right),
                  std::max(1.0, height() - topEdge - bottom));
}

QPointF HistoryChart::position(const Point& point) const {
    const QRectF area = plotArea();
    const double span = std::max<double>(1, static_cast<double>((m_last - m_first).count()));
    const double x = area.left() + area.width() * static_cast<double>((point.time - m_first).count()) / span;
    const double value = point.seconds.value_or(0) / m_unitSeconds;
    return {x, area.bottom() - area.height() * value / top()};
}

void HistoryChart::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    if (m_points.empty()) {
        return;
    }
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF area = plotArea();
    const QFontMetrics metrics = fontMetrics();
    const QColor text = palette().color(QPalette::WindowText);
    const QColor grid(0xdd, 0xe1, 0xe6);
    const QLocale locale;
    painter.fillRect(area, palette().color(QPalette::Base));

    // The legend: the outcomes that occur, in the list's words, and the length axis's unit beside it.
    painter.setPen(text);
    const double legendY = kGap + metrics.ascent();
    painter.drawText(QPointF(kGap, legendY), m_unit);
    double x = area.left();
    for (const RunOutcome outcome : kOutcomes) {
        if (std::none_of(m_points.begin(), m_points.end(),
                         [outcome](const Point& point) { return point.outcome == outcome; })) {
            continue;
        }
        painter.setPen(colour(outcome).darker(130));
        painter.setBrush(colour(outcome));
        const QPointF centre(x + kMarker, kGap + metrics.height() / 2.0);
        if (HasLength(outcome)) {
            painter.drawEllipse(centre, kMarker, kMarker);
        } else {
            painter.drawRect(QRectF(centre - QPointF(kMarker, kMarker), QSizeF(2 * kMarker, 2 * kMarker)));
        }
        painter.setPen(text);
        const QString name = OutcomeText(outcome);
        painter.drawText(QPointF(x + 2 * kMarker + 4, legendY), name);
        x += 2 * kMarker + 4 + metrics.horizontalAdvance(name) + 3 * kGap;
    }

    // The length axis's lines and labels.
    for (int i = 0; i <= m_steps; ++i) {
        const double y = area.bottom() - area.height() * i / m_steps;
        painter.setPen(QPen(grid, 1));
        painter.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
        painter.setPen(text);
        const QString label = locale.toString(i * m_step, 'g', 4);
        painter.drawText(
            QPointF(area.left() - kGap - metrics.horizontalAdvance(label), y + metrics.ascent() / 2.0 - 1),
            label);
    }

    // The time axis: local midnights when the runs are days apart, else even steps with the hour.
    const Ticks span = m_last - m_first;
    const bool days = span > std::chrono::days(2);
    std::vector<TimePoint> ticks;
    if (days) {
        const auto stride = std::max<std::int64_t>(1, std::chrono::ceil<std::chrono::days>(span).count() / 7);
        for (QDate date = ToLocalDateTime(m_first).date.addDays(1);; date = date.addDays(stride)) {
            const TimePoint midnight = FromLocalDateTime(date, QTime(0, 0));
            if (midnight > m_last) {
                break;
            }
            ticks.push_back(midnight);
        }
    } else {
        for (int i = 1; i < 5; ++i) {
            ticks.push_back(m_first + span * i / 5);
        }
    }
    for (const TimePoint tick : ticks) {
        const double tickX = position({tick, std::nullopt, RunOutcome::None}).x();
        painter.setPen(QPen(grid, 1));
        painter.drawLine(QPointF(tickX, area.top()), QPointF(tickX, area.bottom()));
        painter.setPen(text);
        // Seconds where the ticks are closer than minutes apart, else their labels would repeat.
        const QString format = days                              ? QStringLiteral("dd.MM")
                               : span < std::chrono::minutes(20) ? QStringLiteral("hh:mm:ss")
                                                                 : QStringLiteral("dd.MM hh:mm");
        const QString label = LocalDateTimeText(tick, format);
        painter.drawText(
            QPointF(tickX - metrics.horizontalAdvance(label) / 2.0, area.bottom() + 4 + metrics.ascent()),
            label);
    }
    painter.setPen(QPen(text, 1));
    painter.drawLine(area.bottomLeft(), area.bottomRight());
    painter.drawLine(area.bottomLeft(), area.topLeft());

    // The runs with a length joined in order, then every point above the line.
    QPainterPath trend;
    for (const Point& point : m_points) {
        if (point.seconds) {
            if (trend.elementCount() == 0) {
                trend.moveTo(position(point));
            } else {
                trend.lineTo(position(point));
            }
        }
    }
    painter.setPen(QPen(QColor(0xa0, 0xa8, 0xb4), 1.5));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(trend);
    for (const Point& point : m_points) {
        const QPointF at = position(point);
        painter.setPen(colour(point.outcome).darker(130));
        painter.setBrush(colour(point.outcome));
        if (point.seconds) {
            painter.drawEllipse(at, kMarker, kMarker);
        } else {
            painter.drawRect(QRectF(at - QPointF(kMarker, kMarker), QSizeF(2 * kMarker, 2 * kMarker)));
        }
    }
}

bool HistoryChart::event(QEvent* event) {
    if (event->type() != QEvent::ToolTip) {
        return QWidget::event(event);
    }
    const auto* help = static_cast<QHelpEvent*>(event);
    const Point* nearest = nullptr;
    double distance = 3 * kMarker;
    for (const Point& point : m_points) {
        const QPointF offset = position(point) - help->pos();
        const double d = std::hypot(offset.x(), offset.y());
        if (d <= distance) {
            distance = d;
            nearest = &point;
        }
    }
    if (nearest == nullptr) {
        QToolTip::hideText();
        event->ignore();
        return true;
    }
    QString tip = tr("%1 — %2").arg(LocalDateTimeText(nearest->time, QStringLiteral("dd.MM.yyyy hh:mm")),
                                    OutcomeText(nearest->outcome));
    if (nearest->seconds) {
        tip += tr(", %1").arg(HistoryModel::durationText(
            std::chrono::duration_cast<Ticks>(std::chrono::duration<double>(*nearest->seconds))));
    }
    QToolTip::showText(help->globalPos(), tip, this);
    return true;
}
