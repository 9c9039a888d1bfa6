// The run history's chart: how long each run took, over time, each point coloured by how the run ended.
#pragma once

#include "scheduler/JournalRecords.h"

#include <QCoreApplication>
#include <QWidget>

#include <optional>
#include <vector>

// Painted by hand (see docs/platform-decisions.md). A thin line joins the runs that have a length in the
// order they came; the rows without one (missed slots, interrupted or running runs) are squares on the
// time axis. Times are local, as the list beside it shows them.
class HistoryChart : public QWidget {
    Q_DECLARE_TR_FUNCTIONS(HistoryChart)

public:
    struct Point {
        TimePoint time;
        std::optional<double> seconds; // none: a row without a length
        RunOutcome outcome;
    };

    explicit HistoryChart(QWidget* parent = nullptr);

    // The runs newest first, as the journal gives them.
    void setRuns(const std::vector<JournalRun>& runs);
    // Oldest first.
    const std::vector<Point>& points() const { return m_points; }
    // Where the point is drawn at the widget's present size.
    QPointF position(const Point& point) const;

    // Green, amber, red as the result's words say; grey for what did not run to its end.
    static QColor colour(RunOutcome outcome);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    // The area inside the axes, and the length at its top.
    QRectF plotArea() const;
    double top() const;

    std::vector<Point> m_points;
    double m_unitSeconds = 1; // the length axis counts seconds, minutes or hours
    QString m_unit;
    double m_step = 1; // between the length axis's lines, in its unit
    int m_steps = 1;
    TimePoint m_first{};
    TimePoint m_last{};
};
