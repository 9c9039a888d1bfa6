// Notices shown by the desktop's own notification service, for desktops where the tray is not seen.
#pragma once

#include <QString>

#include <functional>
#include <memory>

class DesktopNotifications {
public:
    // `busAddress`: the bus the service is looked for on; empty: the session's bus.
    explicit DesktopNotifications(const QString& busAddress = {});
    ~DesktopNotifications();

    DesktopNotifications(const DesktopNotifications&) = delete;
    DesktopNotifications& operator=(const DesktopNotifications&) = delete;

    // Whether there is a bus to ask at all; whether a service answers shows only when a notice is sent.
    bool connected() const;

    // Shows a notice in place of the one this object showed before. Returns at once; later, on the
    // calling thread's event loop, either `failed` is called (no service took the notice) or, when the
    // user clicks the notice, `clicked`. A notice that is replaced or closed calls nothing more.
    void show(const QString& title, const QString& text, std::function<void()> clicked,
              std::function<void()> failed);

private:
    class Private;
    std::unique_ptr<Private> d;
};
