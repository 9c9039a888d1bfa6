// Linux: the freedesktop notification service, org.freedesktop.Notifications on the session bus.
#include "platform/DesktopNotifications.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QObject>
#include <QStringList>
#include <QUuid>
#include <QVariantMap>

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
// The action a click on the notice itself invokes.
const QString kDefaultAction = QStringLiteral("default");

} // namespace

// A QObject for the bus's signals, which Qt D-Bus delivers to slots only.
class DesktopNotifications::Private : public QObject {
    Q_OBJECT

public:
    explicit Private(const QString& busAddress)
        : name(QStringLiteral("zelkor-notices-") + QUuid::createUuid().toString(QUuid::WithoutBraces)),
          bus(busAddress.isEmpty() ? QDBusConnection::sessionBus()
                                   : QDBusConnection::connectToBus(busAddress, name)) {
        bus.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                    SLOT(onActionInvoked(uint, QString)));
        bus.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                    SLOT(onClosed(uint, uint)));
    }

    ~Private() override {
        if (name != bus.name()) {
            return;
        }
        QDBusConnection::disconnectFromBus(name);
    }

    Private(const Private&) = delete;
    Private& operator=(const Private&) = delete;

    const QString name; // of the connection this object made, if it made one
    QDBusConnection bus;

    void send(const QString& title, const QString& text, std::function<void()> clicked,
              std::function<void()> failed) {
        if (!bus.isConnected()) {
            failed();
            return;
        }
        // Whether the body is read as markup is the service's to say: escaped text would show its
        // entities on a service that does not read it, and an error text may hold '<' or '&'.
        QDBusMessage capabilities =
            QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("GetCapabilities"));
        auto* asked = new QDBusPendingCallWatcher(bus.asyncCall(capabilities), this);
        connect(asked, &QDBusPendingCallWatcher::finished, this,
                [this, title, text, clicked = std::move(clicked),
                 failed = std::move(failed)](QDBusPendingCallWatcher* call) mutable {
                    call->deleteLater();
                    const QDBusPendingReply<QStringList> reply = *call;
                    if (reply.isError()) {
                        failed();
                        return;
                    }
                    const bool markup = reply.value().contains(QStringLiteral("body-markup"));
                    notify(title, markup ? text.toHtmlEscaped() : text, std::move(clicked),
                           std::move(failed));
                });
    }

private slots:
    void onActionInvoked(uint id, const QString& action) {
        if (id == shownId && action == kDefaultAction && onClick) {
            // Called from a copy: opening the logs may show another notice and replace this one.
            const std::function<void()> click = onClick;
            click();
        }
    }

    void onClosed(uint id, uint) {
        if (id == shownId) {
            onClick = nullptr;
        }
    }

private:
    void notify(const QString& title, const QString& text, std::function<void()> clicked,
                std::function<void()> failed) {
        QDBusMessage message =
            QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
        const QVariantMap hints{{QStringLiteral("desktop-entry"), QStringLiteral("zelkor-scheduler")},
                                {QStringLiteral("urgency"), QVariant::fromValue<uchar>(1)}};
        message << QCoreApplication::translate("DesktopNotifications", "Планировщик задач ЗЕЛКОР") << shownId
                << QStringLiteral("zelkor-scheduler") << title << text
                << QStringList{kDefaultAction,
                               QCoreApplication::translate("DesktopNotifications", "Открыть журнал")}
                << hints << -1;
        auto* sent = new QDBusPendingCallWatcher(bus.asyncCall(message), this);
        connect(
            sent, &QDBusPendingCallWatcher::finished, this,
            [this, clicked = std::move(clicked), failed = std::move(failed)](QDBusPendingCallWatcher* call) {
                call->deleteLater();
                const QDBusPendingReply<uint> reply = *call;
                if (reply.isError()) {
                    failed();
                    return;
                }
                shownId = reply.value();
                onClick = clicked;
            });
    }

    uint shownId = 0; // the notice to replace; 0 asks for a new one
    std::function<void()> onClick;
};

DesktopNotifications::DesktopNotifications(const QString& busAddress)
    : d(std::make_unique<Private>(busAddress)) {}

DesktopNotifications::~DesktopNotifications() = default;

bool DesktopNotifications::connected() const {
    return d->bus.isConnected();
}

void DesktopNotifications::show(const QString& title, const QString& text, std::function<void()> clicked,
                                std::function<void()> failed) {
    d->send(title, text, std::move(clicked), std::move(failed));
}

#include "DesktopNotifications.moc"
