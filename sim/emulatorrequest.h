#pragma once

#include <QByteArray>
#include <QMetaType>

// One frame the emulator received, as it was judged on arrival.
struct EmulatorRequest
{
    qint64 timeMs = 0;        // monotonic, since the emulator object was created
    QByteArray rawFrame;      // from '#' up to, not including, the CR
    bool parsed = false;      // hex body of even length with register, operation and CRC
    bool crcValid = false;    // only meaningful when parsed
    quint8 registerCode = 0;  // only meaningful when parsed
    quint8 operationCode = 0; // only meaningful when parsed
    QByteArray data;          // data bytes between the operation code and the CRC
    bool answered = false;    // a reply was queued for it (faults may still garble it)
};

Q_DECLARE_METATYPE(EmulatorRequest)
