// Wakes the engine when the computer may have gone over to battery or back to mains, for tasks that run
// only on mains power.
#pragma once

#include <functional>
#include <memory>

// Whether the computer runs on battery, as UPower on the system bus says; without UPower: on mains.
class PowerWatch {
public:
    // `changed` is called on the watch's own thread when OnBattery may have changed. The watch follows the
    // bus on an event loop of its own, which Qt runs only where an application object exists: without
    // one it says "on mains" and never calls.
    explicit PowerWatch(std::function<void()> changed);
    ~PowerWatch(); // no call after it returns. Not from `changed`.

    PowerWatch(const PowerWatch&) = delete;
    PowerWatch& operator=(const PowerWatch&) = delete;

    // Any thread; the last value known, once the bus has first answered (or after a short wait for it).
    bool OnBattery() const;

private:
    class Impl;
    std::unique_ptr<Impl> m_impl;
};
