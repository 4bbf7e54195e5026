// The host's side of the thread's timers. The heartbeat of a login object
// runs on the thread that created the object, as a window timer does, when
// that thread pumps: call PumpMessages from the host's loop, either after
// waiting MillisUntilNextTimer() or when TimerFileDescriptor() polls
// readable. Timers never run concurrently with the thread's own calls.
#ifndef TARN_PUMP_H_
#define TARN_PUMP_H_

#include <cstdint>

#include "tarn/export.h"

namespace tarn {

// Runs the calling thread's timers that are due; returns how many ran. A
// timer that fell several intervals behind runs once.
TARN_EXPORT int PumpMessages();

// Milliseconds until the calling thread's next timer is due: 0 when one is
// due now, -1 when the thread has none.
TARN_EXPORT int64_t MillisUntilNextTimer();

// A descriptor (a timerfd) that polls readable when one of the calling
// thread's timers is due, and stays so until PumpMessages runs it. It
// belongs to the thread and is closed when the thread ends; the host only
// polls it. -1 when the system gives none.
TARN_EXPORT int TimerFileDescriptor();

}  // namespace tarn

#endif  // TARN_PUMP_H_
