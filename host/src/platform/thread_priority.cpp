#include "platform/thread_priority.h"

#include <pthread.h>
#include <sched.h>

namespace tavrin::host {

void yieldToForegroundWork() {
    sched_param param{};
    param.sched_priority = 0;
    (void)pthread_setschedparam(pthread_self(), SCHED_IDLE, &param);
}

}  // namespace tavrin::host
