// Waiting in a test for something another thread does, with a generous overall limit instead of a fixed
// sleep.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

// Waits until the condition holds or the deadline passes; gives the condition's last value.
inline bool WaitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds deadline = std::chrono::seconds(10)) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) {
            return condition();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}
