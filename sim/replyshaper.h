#pragma once

#include "sim/faultsettings.h"

#include <QByteArray>
#include <QVector>

// Turns a reply's header and payload into what actually goes on the line under the given
// faults: the text, cut into pieces, each with its offset after the request. Silence, the first
// k silent requests and stale replies depend on history and are the emulator's business; a
// refused write is the command set's.
namespace ReplyShaper {

struct Piece
{
    QByteArray bytes;
    int offsetMs = 0;
};

QVector<Piece> shape(const QByteArray &headerAndPayload, const FaultSettings &faults);

} // namespace ReplyShaper
