#pragma once

#include "session/devicesession.h"
#include "sim/converteremulator.h"
#include "tests/support/sessionwatch.h"

#include <QString>
#include <QTemporaryDir>

// The converter emulator on a pseudo-terminal, reached through a link of its own in a temporary
// folder, and a DeviceSession for it with its ticks counted. The link: a pseudo-terminal's name
// is reused by the next one made on this machine, and a session reopening a lost port by that
// name could meet another test's emulator. Unpaced, as for the link.
class EmulatedSession
{
public:
    EmulatedSession();
    EmulatedSession(const EmulatedSession &) = delete;
    EmulatedSession &operator=(const EmulatedSession &) = delete;

    // Starts the emulator; the session stays closed.
    bool Start(QString *error);
    // Opens the session on `name`, by default on the emulator's link.
    bool Open(const QString &name = QString());
    // The emulator's link, which follows it through hang-ups; its serial end itself is
    // emulator.serialPath().
    QString Port() const { return emulator.linkPath(); }
    // Runs the event loop until `more` further ticks of the session have ended.
    bool WaitTicks(int more, int waitMs = TestWaitMs) { return ticks.WaitTicks(more, waitMs); }

    QTemporaryDir dir;
    ConverterEmulator emulator;
    DeviceSession session;
    TickCounter ticks{&session};
};
