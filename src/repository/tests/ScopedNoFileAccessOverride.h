// Tests run as root, and root reads every file whatever its mode. This takes away the capabilities
// that let it do so from the calling thread (and the threads it starts meanwhile), so that a file with
// mode 000 is unreadable as it is for any user; they come back at the end of the scope.
#pragma once

class ScopedNoFileAccessOverride {
public:
    ScopedNoFileAccessOverride();
    ~ScopedNoFileAccessOverride();
    ScopedNoFileAccessOverride(const ScopedNoFileAccessOverride&) = delete;
    ScopedNoFileAccessOverride& operator=(const ScopedNoFileAccessOverride&) = delete;

    // False when the capabilities could not be changed; the test should then be skipped.
    bool Active() const { return active_; }

private:
    bool active_ = false;
    unsigned saved_effective_ = 0;
};
