// Linux: a "block" inhibitor of systemd-logind, asked for over the system bus. logind keeps it as long
// as the descriptor it hands back is open anywhere, so closing ours releases it, and a killed program
// never keeps the machine awake. A connection of its own for each request, to the address the
// environment names at that moment: the shared system-bus connection would fix the address at its
// first use and deliver its replies through a thread of Qt's that a closing program may have stopped.
#include "platform/SleepInhibitor.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QVariant>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <utility>

namespace platform {
namespace {

constexpr int kReplyTimeoutMs = 3000;

QString SystemBusAddress() {
    const char* address = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
    return address != nullptr && *address != '\0' ? QString::fromLocal8Bit(address)
                                                  : QStringLiteral("unix:path=/run/dbus/system_bus_socket");
}

int RequestInhibitor(const QString& who, const QString& why) {
    static std::atomic<unsigned> counter{0};
    const QString name = QStringLiteral("zelkor-sleep-inhibitor-%1").arg(counter++);
    int descriptor = -1;
    {
        QDBusConnection bus = QDBusConnection::connectToBus(SystemBusAddress(), name);
        if (bus.isConnected()) {
            QDBusMessage request = QDBusMessage::createMethodCall(
                QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
                QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
            request << QStringLiteral("sleep") << who << why << QStringLiteral("block");
            const QDBusMessage reply = bus.call(request, QDBus::Block, kReplyTimeoutMs);
            if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
                const auto held = qvariant_cast<QDBusUnixFileDescriptor>(reply.arguments().constFirst());
                if (held.isValid()) {
                    descriptor = fcntl(held.fileDescriptor(), F_DUPFD_CLOEXEC, 0);
                }
            }
        }
    }
    QDBusConnection::disconnectFromBus(name);
    return descriptor;
}

} // namespace

SleepInhibitor::SleepInhibitor(const QString& who, const QString& why)
    : descriptor_(RequestInhibitor(who, why)) {}

SleepInhibitor::~SleepInhibitor() {
    if (descriptor_ >= 0) {
        close(descriptor_);
    }
}

SleepInhibitor::SleepInhibitor(SleepInhibitor&& other) noexcept
    : descriptor_(std::exchange(other.descriptor_, -1)) {}

SleepInhibitor& SleepInhibitor::operator=(SleepInhibitor&& other) noexcept {
    if (this != &other) {
        if (descriptor_ >= 0) {
            close(descriptor_);
        }
        descriptor_ = std::exchange(other.descriptor_, -1);
    }
    return *this;
}

} // namespace platform
