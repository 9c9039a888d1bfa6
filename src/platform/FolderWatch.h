// Wakes the engine when a folder a task needs may have come into being or gone away, without looking at
// the disk on a timer.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

// Tells when any of a set of paths may have come into being or gone away.
class FolderWatch {
public:
    // `changed` is called on the watch's own thread, after a change of the mount table or an entry made,
    // removed or moved in the nearest existing folder above a watched path (or in the path itself), and
    // once after each new set, when its watches are in place, so that a change made while they were
    // being set is not missed. Calls may be coalesced; a spurious call is harmless (the engine looks
    // again), a missed one is not.
    explicit FolderWatch(std::function<void()> changed);
    ~FolderWatch(); // stops and joins the thread; no call of `changed` after it returns. Not from `changed`.

    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;

    // Replaces the set of paths (absolute, UTF-8); an empty set watches nothing, and a set equal to the
    // current one changes nothing. A path that names something other than a folder counts as missing.
    // Any thread.
    void Watch(const std::vector<std::string>& paths);

private:
    class Impl;
    std::unique_ptr<Impl> m_impl;
};
