#include "session/writeretry.h"

namespace {
// A setpoint write or output switch is tried on this many consecutive ticks before it is
// reported as failed.
constexpr int AttemptsPerWrite = 4;
} // namespace

AttemptVerdict JudgeWriteAttempt(LinkResult result, int &retryCount)
{
    if (result == Success)
        return AttemptVerdict::Finished;
    const int failedAttempts = retryCount + 1;
    if (failedAttempts >= AttemptsPerWrite)
        return AttemptVerdict::GiveUp;
    retryCount = failedAttempts;
    return AttemptVerdict::Retry;
}
