// Linux: the idle scheduling class for the processor (Linux applies it to the calling thread alone)
// and the lowest best-effort level for the disk. The scheduler's idle class is lower than any nice value
// but still gets a share of a busy processor; the disk's idle class would not (IoPriority.h).
#include "platform/LowPriority.h"

#include "IoPriority.h"

#include <sched.h>

namespace platform {

void LowerThisThreadsPriority() {
    sched_param parameter{};
    parameter.sched_priority = 0;
    sched_setscheduler(0, SCHED_IDLE, &parameter);
    SetThisThreadsIoPriority(kLowestBestEffortIoPriority);
}

} // namespace platform
