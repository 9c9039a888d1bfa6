// Linux capabilities are per thread; capset on the calling thread alone, through the raw system call.
#include "ScopedNoFileAccessOverride.h"

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr unsigned kOverrides = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);

bool Get(__user_cap_data_struct (&data)[2]) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    return syscall(SYS_capget, &header, data) == 0;
}

bool Set(__user_cap_data_struct (&data)[2]) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    return syscall(SYS_capset, &header, data) == 0;
}

} // namespace

ScopedNoFileAccessOverride::ScopedNoFileAccessOverride() {
    __user_cap_data_struct data[2]{};
    if (!Get(data)) {
        return;
    }
    saved_effective_ = data[0].effective;
    data[0].effective &= ~kOverrides;
    active_ = Set(data);
}

ScopedNoFileAccessOverride::~ScopedNoFileAccessOverride() {
    if (!active_) {
        return;
    }
    __user_cap_data_struct data[2]{};
    if (Get(data)) {
        data[0].effective = saved_effective_;
        Set(data);
    }
}
