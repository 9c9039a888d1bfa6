// Keeps the machine from suspending while a run that must not be cut in two is going on.
#pragma once

#include <QString>

namespace platform {

class SleepInhibitor {
public:
    // Holds nothing.
    SleepInhibitor() = default;
    // Asks the system not to suspend until this object goes, naming the program and why, which the
    // desktop shows when suspend has to wait. Where the system cannot be asked (no service for it, no
    // message bus, a refusal) nothing is held and nothing fails; Held says which. Any thread; waits a
    // few seconds at most.
    SleepInhibitor(const QString& who, const QString& why);
    // Lets suspend go ahead again.
    ~SleepInhibitor();
    SleepInhibitor(SleepInhibitor&& other) noexcept;
    SleepInhibitor& operator=(SleepInhibitor&& other) noexcept;
    SleepInhibitor(const SleepInhibitor&) = delete;
    SleepInhibitor& operator=(const SleepInhibitor&) = delete;

    bool Held() const { return descriptor_ >= 0; }

private:
    int descriptor_ = -1;
};

} // namespace platform
