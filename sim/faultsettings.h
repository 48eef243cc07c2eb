#pragma once

#include <QByteArray>

// Misbehaviours the emulator can put on the line, and a failing regulator, all switchable while
// it runs. They combine: a delayed, split reply with a bad CRC is one reply with all three
// faults.
struct FaultSettings
{
    // Noise written as fast as the line takes it, in place of every reply.
    enum class Flood
    {
        Off,
        RandomBytes,   // any byte value, CR and '^' included
        HexWithoutEnd, // '^' and hex digits that never end in a CR
    };

    bool silent = false;    // never answer
    int silentFirst = 0;    // ignore this many requests after the settings are applied
    int delayMs = 0;        // wait this long after a request before the reply starts
    int splitSize = 0;      // > 0: send the reply text in pieces of this many characters...
    int splitGapMs = 20;    // ...with this pause between the pieces
    QByteArray garbage;     // noise sent before '^' (never contains '^', '#' or CR)
    bool badCrc = false;    // corrupt the low CRC byte
    bool lowerCase = false; // hex digits a-f in lower case
    bool oddDigits = false; // drop the last digit so the count is odd
    QByteArray trailing;    // bytes sent after the CR
    bool nak = false;       // refuse every write: byte 1 = NakCode, nothing is changed
    bool stale = false;     // answer each request with the reply to the previous one
    Flood flood = Flood::Off;
    int overvoltageMv = 0; // > 0: the output this far above the setpoint (ConverterModel)

    static QByteArray defaultGarbage() { return QByteArrayLiteral("\xFF\x00*?~"); }
    static QByteArray defaultTrailing() { return QByteArrayLiteral("\x00\xFFZZ"); }
};
