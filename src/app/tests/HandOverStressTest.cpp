// A minute of windows' programs and background engines started, ended (SIGTERM, SIGKILL) and stopped
// at random while a task falls due every 1.5 s at slots with fractions of a second: every slot runs
// exactly once (by the marker its program writes) and the run journal agrees.
#include "SchedulerSides.h"

#include <QRandomGenerator>

#include <memory>

using namespace std::chrono_literals;

namespace {

// By its last word on standard error: it has handed the tasks over. (One that has never run them may
// be about to take them from a window that has just ended.)
bool BackgroundWaits(Side& background) {
    const QString said = background.Errors();
    return said.lastIndexOf(QStringLiteral("handed over")) >
           said.lastIndexOf(QStringLiteral("runs the tasks"));
}

class HandOverStressTest : public QObject {
    Q_OBJECT

    MarkedTasks m_tasks;

private slots:
    void cleanup() { m_tasks.Clean(); }

    void everySlotRunsOnceWhileProgramsComeAndGoAtRandom() {
        constexpr int kTasks = 40;
        std::vector<std::pair<std::wstring, std::chrono::milliseconds>> due;
        for (int i = 0; i < kTasks; ++i) {
            due.emplace_back(L"s" + std::to_wstring(i), 3000ms + i * 1500ms + 137ms);
        }
        m_tasks.Save(due);
        QRandomGenerator random(28);
        auto background = std::make_unique<Side>(true);
        std::unique_ptr<Side> window;
        QStringList done;
        // Each step with its second after the start, to be set beside the slots (s<i> at 3.137 + 1.5 i).
        const auto note = [&](const QString& step) {
            const auto since = std::chrono::duration<double>(CurrentTime() - m_tasks.Start()).count();
            done << QStringLiteral("%1 %2").arg(since, 0, 'f', 2).arg(step);
        };
        const auto pause = [&](int from, int to) {
            QTest::qWait(static_cast<int>(random.bounded(from, to)));
        };
        const double last = 3.137 + (kTasks - 1) * 1.5;
        while (CurrentTime() <
               m_tasks.Start() + std::chrono::duration_cast<Ticks>(std::chrono::duration<double>(last))) {
            const int action = static_cast<int>(random.bounded(6));
            if (!window || !window->Running()) {
                window = std::make_unique<Side>(false);
                note(QStringLiteral("window started"));
            } else if (action <= 1) {
                const int signal = action == 0 ? SIGTERM : SIGKILL;
                window->End(signal);
                window.reset();
                note(QStringLiteral("window ended by %1").arg(signal));
            } else if (action == 2) {
                window->Signal(SIGSTOP);
                pause(200, 800);
                window->Signal(SIGCONT);
                note(QStringLiteral("window stopped"));
            } else if (action == 3 && BackgroundWaits(*background)) {
                // Only while the background engine waits for the window: the window then has the tasks
                // or takes them, and a slot never falls with nobody to serve it. (Ended while running
                // them, with no window to take them, the engine leaves slots that are nobody's, which are
                // missed as designed.)
                const int signal = random.bounded(2) == 0 ? SIGTERM : SIGKILL;
                background->End(signal);
                background = std::make_unique<Side>(true);
                note(QStringLiteral("background engine restarted after %1").arg(signal));
            }
            pause(300, 1200);
        }
        m_tasks.WaitUntil(last + 4);
        window.reset();
        background->End(SIGTERM);
        QVERIFY2(done.filter(QStringLiteral("background engine restarted")).size() > 2,
                 qPrintable(done.join(QStringLiteral(", "))));

        const auto journal = MarkedTasks::Journal();
        const auto marked = m_tasks.Marked();
        for (const auto& [name, offset] : due) {
            const QString shown = QString::fromStdWString(name);
            const int times = marked.count(shown) ? marked.at(shown) : 0;
            const Counted counted = journal.count(name) ? journal.at(name) : Counted{};
            QVERIFY2(times == 1 && counted.runs == 1 && counted.missed == 0,
                     qPrintable(QStringLiteral("%1: marked %2, journal %3 runs, %4 missed; %5")
                                    .arg(shown)
                                    .arg(times)
                                    .arg(counted.runs)
                                    .arg(counted.missed)
                                    .arg(done.join(QStringLiteral(", ")))));
        }
    }
};

} // namespace

QObject* MakeHandOverStressTest() {
    return new HandOverStressTest;
}

#include "HandOverStressTest.moc"
