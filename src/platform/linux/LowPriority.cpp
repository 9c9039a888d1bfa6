// Linux: the idle scheduling class for the processor (Linux applies it to the calling thread alone)
// and the lowest best-effort level for the disk. The scheduler's idle class is lower than any nice value
// but still gets a share of a busy processor; the disk's idle class would not (IoPriority.h).
#include "platform/LowPriority.h"

#include "IoPriority.h"

#include <algorithm>
#include <cerrno>

#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

namespace platform {

void LowerThisThreadsPriority() {
    sched_param parameter{};
    parameter.sched_priority = 0;
    sched_setscheduler(0, SCHED_IDLE, &parameter);
    SetThisThreadsIoPriority(kLowestBestEffortIoPriority);
}

void GiveThisThreadASmallerShare() {
    // Linux keeps a nice value per thread. Ten more weighs a tenth as much, so the thread runs when the
    // window waits, and still gets a tenth of a processor that others keep busy. Relative to the thread's
    // own: a program started at low priority keeps it, and nothing is ever raised.
    constexpr int kSmallerShare = 10;
    constexpr int kLowestNice = 19;
    const auto self = static_cast<id_t>(gettid());
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, self);
    if (errno == 0) {
        setpriority(PRIO_PROCESS, self, std::min(nice + kSmallerShare, kLowestNice));
    }
}

} // namespace platform
