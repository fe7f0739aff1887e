#pragma once

#include <pthread.h>

namespace tarnwell {

// Holds off thread cancellation for its lifetime. A MIDI library's threads
// call into this program (libjack's process and notification threads, through
// RtMidi or directly), and libjack stops them with pthread_cancel when a client
// closes, which may come while such a callback runs. Taken at a cancellation
// point inside the callback (the write() of Waker::wake is one), it would
// unwind through noexcept code and end the program; held off for the callback's
// length, it is taken in the library's own code once the callback returns.
//
// Every callback a MIDI library's thread makes into this program starts with
// one. POSIX does not list pthread_setcancelstate as async-signal-safe; glibc's
// only updates the calling thread's own state with atomic operations and takes
// no lock, which is what lets JACK's shutdown callback, held to a signal
// handler's rules, use it too. The program's own signal handlers do not.
class HoldOffCancellation {
public:
    HoldOffCancellation() { pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &previous_); }
    ~HoldOffCancellation() { pthread_setcancelstate(previous_, nullptr); }
    HoldOffCancellation(const HoldOffCancellation&) = delete;
    HoldOffCancellation& operator=(const HoldOffCancellation&) = delete;

private:
    int previous_ = PTHREAD_CANCEL_ENABLE;
};

}  // namespace tarnwell
