// Linux: the idle scheduling class for the processor (Linux applies it to the calling thread alone)
// and the idle class for the disk. The scheduler's idle class is lower than any nice value, and the
// disk's idle class is honoured by the mq-deadline and BFQ schedulers.
#include "platform/LowPriority.h"

#include "IoPriority.h"

#include <sched.h>

namespace platform {

void LowerThisThreadsPriority() {
    sched_param parameter{};
    parameter.sched_priority = 0;
    sched_setscheduler(0, SCHED_IDLE, &parameter);
    SetThisThreadsIoPriority(kIdleIoPriority);
}

} // namespace platform
