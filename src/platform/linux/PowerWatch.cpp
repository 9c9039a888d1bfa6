// Linux: UPower's OnBattery property on the system bus, read whenever the service appears and followed
// through its PropertiesChanged signal, on a connection of the watch's own in a thread of its own. The
// engine's thread has no Qt event loop, and Qt delivers the bus's signals through one.
#include "platform/PowerWatch.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QStringList>
#include <QThread>
#include <QUuid>
#include <QVariantMap>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <iostream>
#include <mutex>

namespace {

const QString kService = QStringLiteral("org.freedesktop.UPower");
const QString kPath = QStringLiteral("/org/freedesktop/UPower");
const QString kInterface = QStringLiteral("org.freedesktop.UPower");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kOnBattery = QStringLiteral("OnBattery");

// What the bus says of the power source, told to `tell` on the thread the object lives in. A QObject
// because Qt D-Bus delivers signals to slots only.
class PowerSource : public QObject {
    Q_OBJECT

public:
    explicit PowerSource(std::function<void(bool onBattery)> tell)
        : m_name(QStringLiteral("zelkor-power-watch-") + QUuid::createUuid().toString(QUuid::WithoutBraces)),
          m_bus(QDBusConnection::connectToBus(QDBusConnection::SystemBus, m_name)), m_tell(std::move(tell)) {
        m_bus.connect(kService, kPath, kProperties, QStringLiteral("PropertiesChanged"), this,
                      SLOT(OnPropertiesChanged(QString, QVariantMap, QStringList)));
        auto* owner =
            new QDBusServiceWatcher(kService, m_bus, QDBusServiceWatcher::WatchForOwnerChange, this);
        connect(owner, &QDBusServiceWatcher::serviceOwnerChanged, this,
                [this](const QString&, const QString&, const QString& newOwner) {
                    if (newOwner.isEmpty()) {
                        ++m_asked; // what the former owner still answers is of no account
                        m_tell(false);
                    } else {
                        Ask();
                    }
                });
        Ask();
    }

    ~PowerSource() override { QDBusConnection::disconnectFromBus(m_name); }

    PowerSource(const PowerSource&) = delete;
    PowerSource& operator=(const PowerSource&) = delete;

private slots:
    void OnPropertiesChanged(const QString& interface, const QVariantMap& changed,
                             const QStringList& invalidated) {
        if (interface != kInterface) {
            return;
        }
        const auto value = changed.constFind(kOnBattery);
        if (value != changed.constEnd()) {
            m_tell(value->toBool());
        } else if (invalidated.contains(kOnBattery)) {
            Ask();
        }
    }

private:
    // A service that does not answer (there is none) means mains. Replies and signals of one service
    // come in the order it sent them, so only a change of owner makes a reply stale.
    void Ask() {
        const unsigned asked = ++m_asked;
        QDBusMessage get =
            QDBusMessage::createMethodCall(kService, kPath, kProperties, QStringLiteral("Get"));
        get << kInterface << kOnBattery;
        auto* call = new QDBusPendingCallWatcher(m_bus.asyncCall(get), this);
        connect(call, &QDBusPendingCallWatcher::finished, this, [this, asked](QDBusPendingCallWatcher* done) {
            done->deleteLater();
            const QDBusPendingReply<QDBusVariant> reply = *done;
            if (asked == m_asked) {
                m_tell(!reply.isError() && reply.value().variant().toBool());
            }
        });
    }

    const QString m_name;
    QDBusConnection m_bus;
    std::function<void(bool)> m_tell;
    unsigned m_asked = 0; // the last question sent
};

} // namespace

class PowerWatch::Impl : public QThread {
public:
    explicit Impl(std::function<void()> changed) : m_changed(std::move(changed)) {
        if (QCoreApplication::instance() == nullptr) {
            std::cerr << "No application object: the power source is not watched\n";
            Know();
            return;
        }
        start();
    }

    // Waits a moment for the bus's first answer: a watch made just before a slot must not take a
    // computer on battery for one on mains.
    void WaitForFirstAnswer() {
        std::unique_lock lock(m_mutex);
        m_answered.wait_for(lock, std::chrono::seconds(2), [this] { return m_known; });
    }

    // An exit asked for before the loop runs ends it as soon as it starts.
    ~Impl() override {
        quit();
        wait();
    }

    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;

    std::atomic<bool> m_onBattery{false};

protected:
    void run() override {
        PowerSource source([this](bool onBattery) {
            if (m_onBattery.exchange(onBattery) != onBattery) {
                m_changed();
            }
            Know();
        });
        exec();
    }

private:
    void Know() {
        std::lock_guard lock(m_mutex);
        m_known = true;
        m_answered.notify_all();
    }

    std::function<void()> m_changed;
    std::mutex m_mutex;
    std::condition_variable m_answered;
    bool m_known = false; // under m_mutex
};

PowerWatch::PowerWatch(std::function<void()> changed) : m_impl(std::make_unique<Impl>(std::move(changed))) {}

PowerWatch::~PowerWatch() = default;

bool PowerWatch::OnBattery() const {
    m_impl->WaitForFirstAnswer();
    return m_impl->m_onBattery.load();
}

#include "PowerWatch.moc"
