#include "remote/scpierrorqueue.h"

void ScpiErrorQueue::Push(const ScpiError &error)
{
    if (Size() < Capacity)
        errors.push_back(error);
    else
        errors.back() = ScpiErrors::QueueOverflow();
}

ScpiError ScpiErrorQueue::Pop()
{
    if (errors.empty())
        return ScpiErrors::NoError();
    const ScpiError oldest = errors.front();
    errors.pop_front();
    return oldest;
}
