#include "session/writeretry.h"

namespace {
constexpr int maxRetries = 2;
}

AttemptVerdict JudgeWriteAttempt(LinkResult result, int &retryCount)
{
    if (result == Success)
        return AttemptVerdict::Finished;
    if (retryCount > maxRetries)
        return AttemptVerdict::GiveUp;
    ++retryCount;
    return AttemptVerdict::Retry;
}
