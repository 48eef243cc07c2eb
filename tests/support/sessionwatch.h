#pragma once

#include <QObject>

class DeviceSession;

// How long a test waits for what a healthy machine does within a few poll ticks.
constexpr int TestWaitMs = 5000;

// Counts a session's ticks from its own construction on. A tick runs exactly one transaction,
// so "nothing else is sent" is "n more ticks ran, and none of them sent it".
class TickCounter : public QObject
{
public:
    explicit TickCounter(DeviceSession *session);

    int Count() const { return ticks; }
    // Runs the event loop until `more` further ticks have ended; false when waitMs passed first.
    bool WaitTicks(int more, int waitMs = TestWaitMs);

private:
    int ticks = 0;
};

// True when nothing can reach the converter any more until the session is opened again: its
// port is closed and none of its timers (the poll tick, a recovery's pace) runs.
bool SessionAtRest(const DeviceSession &session);
