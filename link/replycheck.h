#pragma once

#include "link/linkresult.h"

#include <QByteArray>
#include <QtGlobal>

// How a transaction judges the reply line it received.
namespace ReplyCheck {

// A read reply must decode to at least minimum bytes (and at least one), carry a CRC over all
// of them that ends at zero and start with the register it was asked for: a late reply to
// another read can have the same length. On Success, reply holds every decoded byte.
LinkResult JudgeReadLine(const QByteArray &line, quint8 registerCode, quint8 minimum,
                         QByteArray &reply);

// A whole reply with a good CRC that starts with another register than registerCode: the late
// answer to an earlier request, which a read passes over while it waits for its own.
bool IsReplyOfAnotherRegister(const QByteArray &line, quint8 registerCode);

// A write is acknowledged when the first two reply bytes decode and byte 1 is the ack code;
// nothing else in the line matters.
LinkResult JudgeWriteLine(const QByteArray &line);

} // namespace ReplyCheck
