// The window's program's roles: it owns the tasks at once when the engine role is free, else when the
// engine that held it lets it go; and it lets both roles go when it ends.
#include "app/handover/WindowSide.h"

#include <QTemporaryDir>
#include <QtTest>

using platform::OwnershipLock;

class WindowSideTest : public QObject {
    Q_OBJECT

private slots:
    void ownsTheTasksWhenTheEngineRoleIsFree_data() {
        QTest::addColumn<bool>("engineHeldElsewhere");
        QTest::newRow("free from the start") << false;
        QTest::newRow("held by another engine") << true;
    }

    void ownsTheTasksWhenTheEngineRoleIsFree() {
        QFETCH(bool, engineHeldElsewhere);
        QTemporaryDir folder;
        const QString lockPath = folder.filePath(QStringLiteral("engine.lock"));
        OwnershipLock other(lockPath, OwnershipLock::Role::Engine);
        QVERIFY(!engineHeldElsewhere || other.TryTake());
        const TimePoint before = CurrentTime();

        WindowSide side(lockPath);
        QCOMPARE(side.OwnsTasks(), !engineHeldElsewhere);
        int calls = 0;
        std::optional<TimePoint> claimedAt;
        QObject context;
        side.WhenOwned(&context, [&](std::optional<TimePoint> claimed) {
            ++calls;
            claimedAt = claimed;
        });
        if (engineHeldElsewhere) {
            QTest::qWait(300); // a look or more at the role, which the other engine still holds
            QCOMPARE(calls, 0);
            other.Release();
            QTRY_COMPARE(calls, 1);
            // The slots since the window role was taken are the window's to run.
            QVERIFY(claimedAt && *claimedAt >= before && *claimedAt <= CurrentTime());
        } else {
            QCOMPARE(calls, 1);
            QVERIFY(!claimedAt);
        }
        QVERIFY(side.OwnsTasks());
        OwnershipLock window(lockPath, OwnershipLock::Role::Window);
        QVERIFY(!window.TryTake());

        side.Release();
        QVERIFY(window.TryTake());
        QVERIFY(other.TryTake());
        QTest::qWait(300);
        QCOMPARE(calls, 1); // told once only
    }
};

QObject* MakeWindowSideTest() {
    return new WindowSideTest;
}

#include "WindowSideTest.moc"
