#pragma once

#include "link/linkresult.h"

// What a tick does after one attempt of a setpoint write or output switch.
enum class AttemptVerdict
{
    Finished, // acknowledged: the command is done
    Retry,    // failed, try again on the next tick
    GiveUp,   // fourth consecutive failure: report it, then the command is done
};

// Judges one attempt. `retryCount` is the number of failed attempts so far; it is compared
// before it is raised, so a request gets four attempts in all.
AttemptVerdict JudgeWriteAttempt(LinkResult result, int &retryCount);
