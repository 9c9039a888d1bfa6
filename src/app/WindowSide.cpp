// Taking the window role, and ending after the runs under way when a background engine waits.
#include "WindowSide.h"

#include "BackgroundEngine.h"
#include "MainWindow.h"
#include "scheduler/TaskStorage.h"

#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <iostream>
#include <thread>

void TakeWindowRole(platform::OwnershipLock& role) {
    for (int attempt = 0; attempt < 250 && !role.TryTake(); ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (!role.Held()) {
        std::cerr << "The window's role could not be taken: a background engine may go on running tasks.\n";
    }
}

void LetRunsEndForTheBackgroundEngine(TaskStorage& storage, MainWindow& window) {
    if (storage.InStandby() || !BackgroundEngineWaits() || storage.RunningTasks().empty()) {
        return;
    }
    storage.StopStartingRuns();
    window.leaveScreen();
    std::cerr << "The runs under way end before the program does; the background engine then takes the "
                 "tasks.\n";
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (storage.Idle()) { // or the whole-run limit has passed
            loop.quit();
        }
    });
    poll.start(200);
    loop.exec();
}
