// Linux: one byte of the file per role, locked with an open-file-description lock. Unlike the classic
// record locks, those belong to the open file and not to the process, so two objects of one process
// exclude each other too, and closing another descriptor of the file releases nothing.
#include "platform/OwnershipLock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace platform {

OwnershipLock::OwnershipLock(QString path, Role role) : m_path(std::move(path)), m_role(role) {}

OwnershipLock::~OwnershipLock() {
    Release();
    if (m_descriptor >= 0) {
        ::close(m_descriptor);
    }
}

bool OwnershipLock::TryTake() {
    if (m_held) {
        return true;
    }
    if (m_descriptor < 0) {
        QDir().mkpath(QFileInfo(m_path).absolutePath());
        m_descriptor = ::open(QFile::encodeName(m_path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (m_descriptor < 0) {
            if (!std::exchange(m_openFailed, true)) {
                std::cerr << "The lock file " << QFile::encodeName(m_path).constData()
                          << " cannot be opened: " << std::strerror(errno) << '\n';
            }
            return false;
        }
    }
    struct flock range {};
    range.l_type = F_WRLCK;
    range.l_whence = SEEK_SET;
    range.l_start = static_cast<off_t>(m_role);
    range.l_len = 1;
    m_held = ::fcntl(m_descriptor, F_OFD_SETLK, &range) == 0;
    return m_held;
}

bool OwnershipLock::TakeWithin(std::chrono::milliseconds patience) {
    constexpr std::chrono::milliseconds kAgain(20);
    for (auto waited = std::chrono::milliseconds::zero(); !TryTake(); waited += kAgain) {
        if (waited >= patience) {
            return false;
        }
        std::this_thread::sleep_for(kAgain);
    }
    return true;
}

void OwnershipLock::Release() {
    if (!m_held) {
        return;
    }
    struct flock range {};
    range.l_type = F_UNLCK;
    range.l_whence = SEEK_SET;
    range.l_start = static_cast<off_t>(m_role);
    range.l_len = 1;
    ::fcntl(m_descriptor, F_OFD_SETLK, &range);
    m_held = false;
    if (m_role == Role::Engine) {
        // Whoever waits for the tasks watches the file: its change time tells them at once that the tasks
        // are free. (A holder that dies tells nobody; they look again within their polling interval.)
        ::futimens(m_descriptor, nullptr);
    }
}

} // namespace platform
