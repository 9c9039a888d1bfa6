// The sleep inhibitor against a stand-in of systemd-logind on a message bus of the test's own, and
// without any bus.
#include "platform/SleepInhibitor.h"

#include "PrivateSystemBus.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QDBusVirtualObject>
#include <QThread>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <thread>

namespace {

// Answers Inhibit as logind does: with the write end of a pipe, whose read end it keeps to learn when
// every copy of the descriptor is closed.
class StandInLogind : public QDBusVirtualObject {
public:
    ~StandInLogind() override {
        if (m_held >= 0) {
            close(m_held);
        }
    }

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.member() != QLatin1String("Inhibit")) {
            return false;
        }
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) != 0) {
            return false;
        }
        {
            std::lock_guard lock(m_mutex);
            for (const QVariant& argument : message.arguments()) {
                m_arguments << argument.toString();
            }
            m_held = ends[0];
        }
        connection.send(message.createReply(QVariant::fromValue(QDBusUnixFileDescriptor(ends[1]))));
        close(ends[1]);
        return true;
    }

    QStringList Arguments() {
        std::lock_guard lock(m_mutex);
        return m_arguments;
    }

    // Whether the holder has let go, waiting up to `ms` for it.
    bool Released(int ms) {
        pollfd watch{m_held, POLLIN, 0};
        char byte = 0;
        return poll(&watch, 1, ms) == 1 && read(m_held, &byte, 1) == 0;
    }

private:
    std::mutex m_mutex;
    QStringList m_arguments;
    int m_held = -1;
};

} // namespace

TEST(SleepInhibitorTest, HeldWhileItLivesNamingTheProgramAndWhyAndReleasedWhenItGoes) {
    const PrivateSystemBus bus;
    const QString& address = bus.Address();
    if (address.isEmpty()) {
        GTEST_SKIP() << "no dbus-daemon to run a bus of the test's own";
    }
    // A bus without logind: nothing is held, nothing fails.
    EXPECT_FALSE(platform::SleepInhibitor(QStringLiteral("Планировщик"), QStringLiteral("копия")).Held());

    // Calls reach an object in its own thread, and this one waits for the answer.
    QThread thread;
    thread.start();
    StandInLogind logind;
    logind.moveToThread(&thread);
    QDBusConnection standIn = QDBusConnection::connectToBus(address, QStringLiteral("stand-in logind"));
    ASSERT_TRUE(standIn.registerService(QStringLiteral("org.freedesktop.login1")));
    ASSERT_TRUE(standIn.registerVirtualObject(QStringLiteral("/org/freedesktop/login1"), &logind));
    {
        const platform::SleepInhibitor held(QStringLiteral("Планировщик"), QStringLiteral("Задание «Архив»"));
        EXPECT_TRUE(held.Held());
        EXPECT_EQ(logind.Arguments(),
                  (QStringList{QStringLiteral("sleep"), QStringLiteral("Планировщик"),
                               QStringLiteral("Задание «Архив»"), QStringLiteral("block")}));
        EXPECT_FALSE(logind.Released(0));
    }
    EXPECT_TRUE(logind.Released(5000));
    // Copies ask from threads of their own.
    bool heldOnAThread = false;
    std::thread([&heldOnAThread] {
        heldOnAThread =
            platform::SleepInhibitor(QStringLiteral("Планировщик"), QStringLiteral("копия")).Held();
    }).join();
    EXPECT_TRUE(heldOnAThread);
    EXPECT_TRUE(logind.Released(5000));
    standIn.unregisterObject(QStringLiteral("/org/freedesktop/login1"));
    QDBusConnection::disconnectFromBus(QStringLiteral("stand-in logind"));
    thread.quit();
    thread.wait();
}

TEST(SleepInhibitorTest, NoBusHoldsNothingAndFailsNothing) {
    setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/zelkor-test-bus", 1);
    platform::SleepInhibitor none(QStringLiteral("Планировщик"), QStringLiteral("копия"));
    EXPECT_FALSE(none.Held());
    platform::SleepInhibitor moved = std::move(none);
    EXPECT_FALSE(moved.Held());
    unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
}
