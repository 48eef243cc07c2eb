#pragma once

#include "remote/scpiparser.h"

#include <deque>

// A client's SCPI error queue: first in, first out, bounded. When it is full, its last entry
// becomes "Queue overflow", as instruments keep it.
class ScpiErrorQueue
{
public:
    static constexpr int Capacity = 16;

    void Push(const ScpiError &error);
    // The oldest error, or "No error" when there is none.
    ScpiError Pop();
    void Clear() { errors.clear(); }
    int Size() const { return static_cast<int>(errors.size()); }

private:
    std::deque<ScpiError> errors;
};
