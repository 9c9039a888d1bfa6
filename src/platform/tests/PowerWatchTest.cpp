// The power watch against a stand-in of UPower on a message bus of the test's own.
#include "platform/PowerWatch.h"

#include "PrivateSystemBus.h"
#include "WaitUntil.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QThread>
#include <QVariantMap>

#include <atomic>
#include <functional>

namespace {

const QString kService = QStringLiteral("org.freedesktop.UPower");
const QString kPath = QStringLiteral("/org/freedesktop/UPower");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

// Answers a question for OnBattery, and nothing else, as UPower would.
class StandInUPower : public QDBusVirtualObject {
public:
    std::atomic<bool> onBattery{false};

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.interface() != kProperties || message.member() != QLatin1String("Get")) {
            return false;
        }
        if (message.arguments() != QVariantList{kService, QStringLiteral("OnBattery")}) {
            connection.send(
                message.createErrorReply(QDBusError::InvalidArgs, QStringLiteral("no such property")));
            return true;
        }
        connection.send(message.createReply(QVariant::fromValue(QDBusVariant(onBattery.load()))));
        return true;
    }
};

void SendPropertiesChanged(QDBusConnection& bus, const QVariantMap& changed, const QStringList& invalidated) {
    QDBusMessage signal = QDBusMessage::createSignal(kPath, kProperties, QStringLiteral("PropertiesChanged"));
    signal << kService << changed << invalidated;
    ASSERT_TRUE(bus.send(signal));
}

} // namespace

TEST(PowerWatchTest, FollowsTheServiceAsItComesChangesAndGoes) {
    const PrivateSystemBus bus;
    if (bus.Address().isEmpty()) {
        GTEST_SKIP() << "no dbus-daemon to run a bus of the test's own";
    }
    std::atomic<int> calls{0};
    PowerWatch watch([&calls] { ++calls; });
    EXPECT_FALSE(watch.OnBattery()); // no service: mains

    // Questions reach the stand-in in a thread of its own, while this one waits.
    QThread thread;
    thread.start();
    StandInUPower upower;
    upower.moveToThread(&thread);
    QDBusConnection standIn = QDBusConnection::connectToBus(bus.Address(), QStringLiteral("stand-in upower"));
    ASSERT_TRUE(standIn.registerVirtualObject(kPath, &upower));

    struct Step {
        const char* what;
        std::function<void()> change;
        bool onBattery;
    };
    const Step steps[] = {
        {"the service comes, on battery",
         [&] {
             upower.onBattery = true;
             ASSERT_TRUE(standIn.registerService(kService));
         },
         true},
        {"mains",
         [&] {
             SendPropertiesChanged(standIn, {{QStringLiteral("OnBattery"), false}}, {});
         },
         false},
        {"battery, told as a value to ask for",
         [&] {
             upower.onBattery = true;
             SendPropertiesChanged(standIn, {}, {QStringLiteral("OnBattery")});
         },
         true},
        {"the service goes", [&] { ASSERT_TRUE(standIn.unregisterService(kService)); }, false},
        {"it comes back on battery", [&] { ASSERT_TRUE(standIn.registerService(kService)); }, true},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        const int before = calls;
        step.change();
        EXPECT_TRUE(WaitUntil([&] { return watch.OnBattery() == step.onBattery && calls > before; }));
    }
    // A watch made while the service runs learns where things stand.
    const PowerWatch later([] {});
    EXPECT_TRUE(WaitUntil([&] { return later.OnBattery(); }));

    standIn.unregisterObject(kPath);
    QDBusConnection::disconnectFromBus(QStringLiteral("stand-in upower"));
    thread.quit();
    thread.wait();
}

TEST(PowerWatchTest, WithoutABusOnMainsAndGoneAtOnce) {
    setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/zelkor-test-bus", 1);
    const PowerWatch watch([] {});
    EXPECT_FALSE(watch.OnBattery());
    unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
}
