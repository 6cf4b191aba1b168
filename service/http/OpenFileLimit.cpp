// SPDX-License-Identifier: GPL-3.0-or-later
#include "http/OpenFileLimit.h"

#include <sys/resource.h>

namespace OrvelanNimbal::Service {

std::int64_t raiseOpenFileLimit()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 1024;
    if (limit.rlim_cur < limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (::setrlimit(RLIMIT_NOFILE, &raised) == 0)
            limit = raised;
    }
    return limit.rlim_cur == RLIM_INFINITY ? INT64_MAX : std::int64_t(limit.rlim_cur);
}

} // namespace OrvelanNimbal::Service
