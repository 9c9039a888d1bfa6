// Linux: inotify on the folders that exist on the way down to each path, the mount table's poll, and an
// eventfd for a new set or the stop, all waited on by poll() in one thread. A file system mounted over a
// folder or taken away gives no inotify event; the mount table tells of that.
#include "platform/FolderWatch.h"

#include <cerrno>
#include <cstdint>
#include <iostream>
#include <mutex>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace {

// An existing folder on the way down: renamed, removed or made unreadable, the path below it goes away.
constexpr std::uint32_t kSelfEvents = IN_DELETE_SELF | IN_MOVE_SELF | IN_ATTRIB | IN_ONLYDIR | IN_MASK_ADD;
// The deepest existing folder: the next folder down comes into being here.
constexpr std::uint32_t kEntryEvents = IN_CREATE | IN_MOVED_TO | IN_DELETE | IN_MOVED_FROM;

bool AddWatch(int notify, const std::string& folder, std::uint32_t events) {
    if (inotify_add_watch(notify, folder.c_str(), events) >= 0) {
        return true;
    }
    if (errno == ENOSPC || errno == ENOMEM) { // not "missing": the limit of watches is reached
        std::cerr << "Cannot watch the folder " << folder << ": " << std::system_category().message(errno)
                  << '\n';
    }
    return false;
}

// Walks down from the root, watching each folder that exists before looking for the next one: a folder
// made after its parent was looked at is told by the parent's watch, so nothing falls between looking
// and watching. A folder with the same inode reached by two paths gets the union of the events.
void WatchPath(int notify, const std::string& path) {
    if (path.empty() || path.front() != '/') {
        return;
    }
    std::string folder = "/";
    std::string::size_type begin = 1;
    while (begin < path.size()) {
        std::string::size_type end = path.find('/', begin);
        if (end == std::string::npos) {
            end = path.size();
        }
        if (end > begin) {
            const std::string next =
                (folder == "/" ? folder : folder + '/') + path.substr(begin, end - begin);
            if (!AddWatch(notify, next, kSelfEvents)) {
                AddWatch(notify, folder, kSelfEvents | kEntryEvents);
                // Made between the two calls: its parent's watch came too late to tell of it.
                if (!AddWatch(notify, next, kSelfEvents)) {
                    return;
                }
            }
            folder = next;
        }
        begin = end + 1;
    }
}

// A new inotify descriptor for the set: on the old one, taking its watches away would queue events of
// their own. -1 when the set is empty or no descriptor can be had.
int WatchAll(const std::vector<std::string>& paths) {
    if (paths.empty()) {
        return -1;
    }
    const int notify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (notify < 0) {
        std::cerr << "Cannot watch folders: " << std::system_category().message(errno) << '\n';
        return -1;
    }
    for (const std::string& path : paths) {
        WatchPath(notify, path);
    }
    return notify;
}

void CloseIfOpen(int descriptor) {
    if (descriptor >= 0) {
        close(descriptor);
    }
}

} // namespace

class FolderWatch::Impl {
public:
    explicit Impl(std::function<void()> changed)
        : m_changed(std::move(changed)), m_wake(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
        if (m_wake < 0) {
            throw std::system_error(errno, std::system_category(), "eventfd");
        }
    }

    ~Impl() {
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        Wake();
        if (m_thread.joinable()) {
            m_thread.join();
        }
        close(m_wake);
    }

    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;

    void Watch(const std::vector<std::string>& paths) {
        std::lock_guard lock(m_mutex);
        if (paths == m_paths) {
            return;
        }
        m_paths = paths;
        m_renewed = true;
        if (m_thread.joinable()) {
            Wake();
        } else {
            m_thread = std::thread([this] { Run(); });
        }
    }

private:
    void Wake() {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = write(m_wake, &one, sizeof one);
    }

    void Run() {
        // The mount table of the namespace this thread looks paths up in: the process's, unless the
        // thread that started this one has a namespace of its own.
        const int mounts = open("/proc/thread-self/mountinfo", O_RDONLY | O_CLOEXEC);
        if (mounts < 0) {
            std::cerr << "Cannot watch the mount table: " << std::system_category().message(errno) << '\n';
        }
        int notify = -1;
        std::vector<std::string> paths;
        bool look = false;
        for (;;) {
            {
                std::lock_guard lock(m_mutex);
                if (m_stopping) {
                    break;
                }
                if (m_renewed) {
                    paths = m_paths;
                    m_renewed = false;
                    look = true;
                }
            }
            if (look) {
                look = false;
                CloseIfOpen(notify);
                notify = WatchAll(paths);
                if (!paths.empty()) {
                    m_changed();
                }
            }
            // The kernel reports a change of the mount table as POLLPRI and POLLERR once to each poll
            // after it; the table need not be read. Negative descriptors are left out by poll().
            pollfd waits[] = {{m_wake, POLLIN, 0}, {notify, POLLIN, 0}, {mounts, POLLPRI, 0}};
            if (poll(waits, 3, -1) < 0) {
                continue; // EINTR
            }
            if (waits[0].revents != 0) {
                std::uint64_t count = 0;
                [[maybe_unused]] const ssize_t read = ::read(m_wake, &count, sizeof count);
            }
            // Whatever the events were (even a full queue), the folders are watched anew: the nearest
            // existing folder may have changed. The old descriptor's events go with it.
            look = waits[1].revents != 0 || (waits[2].revents & (POLLPRI | POLLERR)) != 0;
        }
        CloseIfOpen(notify);
        CloseIfOpen(mounts);
    }

    std::function<void()> m_changed;
    const int m_wake; // an eventfd: a new set, or the stop
    std::mutex m_mutex;
    std::vector<std::string> m_paths; // the set asked for
    bool m_renewed = false;           // the thread has not taken m_paths yet
    bool m_stopping = false;
    std::thread m_thread; // started with the first set that is not empty
};

FolderWatch::FolderWatch(std::function<void()> changed)
    : m_impl(std::make_unique<Impl>(std::move(changed))) {}

FolderWatch::~FolderWatch() = default;

void FolderWatch::Watch(const std::vector<std::string>& paths) {
    m_impl->Watch(paths);
}
