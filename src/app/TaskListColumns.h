// The widths of the task list's columns: the first widths while no header state is saved, status
// columns wide enough for any text they show, and the room the list gains or loses as the window is
// resized given to or taken back from the names and the schedule.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QVector>

class QTreeView;

class TaskListColumns : public QObject {
public:
    // Restores `savedState` into the list's header, or sizes the columns when it restores nothing. The
    // list's model must be set; the object watches it, and the list's viewport, from then on.
    TaskListColumns(QTreeView* list, const QByteArray& savedState);

    // Sizes again once the window is first shown, when no state was restored: until then its widgets
    // are not polished, and the toolbar asked for more room than it takes.
    void windowShown();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void sizeColumns();
    void sizeStatusColumns();
    void fitNamesToList();

    QTreeView* m_list;
    // Kept apart from the list: its events still come while the list is being destroyed, when it is no
    // longer a view whose members may be called.
    QWidget* m_viewport;
    int m_namesWidened = 0;    // what fitNamesToList added to the names' column
    int m_scheduleWidened = 0; // and to the schedule's
    QVector<int> m_needs;      // the widths the names and schedules need to show whole; empty: unknown
    bool m_toSize = false;     // no header state was restored, and the window has not been shown yet
};
