// Acting on a modal dialog or a pop-up menu from inside the event loop that shows it, so that a test
// can drive exec() calls without blocking.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <functional>

// Calls `act` once the active pop-up, or else the active modal widget, is a visible T. Gives up
// silently after ten seconds; the test then fails on what it expected `act` to do.
template <typename T>
void WhenShown(std::function<void(T&)> act) {
    auto* timer = new QTimer(qApp);
    QElapsedTimer clock;
    clock.start();
    QObject::connect(timer, &QTimer::timeout, timer, [timer, act = std::move(act), clock] {
        QWidget* widget = QApplication::activePopupWidget();
        if (widget == nullptr) {
            widget = QApplication::activeModalWidget();
        }
        T* shown = dynamic_cast<T*>(widget);
        if ((shown != nullptr && widget->isVisible()) || clock.hasExpired(10000)) {
            timer->stop();
            timer->deleteLater();
            if (shown != nullptr) {
                act(*shown);
            }
        }
    });
    timer->start(5);
}
