// Linux: a "block" inhibitor of systemd-logind, asked for over the system bus. logind keeps it as long
// as the descriptor it hands back is open anywhere, so closing ours releases it, and a killed program
// never keeps the machine awake. A connection of its own for each request, to the address the
// environment names at that moment: the shared system-bus connection would fix the address at its
// first use and deliver its replies through a thread of Qt's that a closing program may have stopped.
#include "platform/SleepInhibitor.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QFile>
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

// Where the bus is a socket file that is not there (no message bus on this machine, as in most
// containers), there is nobody to ask, and Qt's bus machinery is not even started.
bool NoBusAt(const QString& address) {
    const QString prefix = QStringLiteral("unix:path=");
    if (!address.startsWith(prefix)) {
        return false;
    }
    const QString path = address.mid(prefix.size()).section(QLatin1Char(','), 0, 0);
    return access(QFile::encodeName(path).constData(), F_OK) != 0;
}

int RequestInhibitor(const QString& who, const QString& why) {
    const QString address = SystemBusAddress();
    if (NoBusAt(address)) {
        return -1;
    }
    static std::atomic<unsigned> counter{0};
    const QString name = QStringLiteral("zelkor-sleep-inhibitor-%1").arg(counter++);
    int descriptor = -1;
    {
        QDBusConnection bus = QDBusConnection::connectToBus(address, name);
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
