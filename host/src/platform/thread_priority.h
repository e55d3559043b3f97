#pragma once
// Scheduling of the host's background work.

namespace tavrin::host {

// Lets the calling thread run only when no other work of the system wants
// the processor (Linux SCHED_IDLE): the background browser connection then
// never delays the reply a browser is waiting for. Best effort: a refusal
// leaves the thread as it was.
void yieldToForegroundWork();

}  // namespace tavrin::host
