#pragma once

#include "link/devicerecords.h"

#include <QByteArray>

// Where each record field lies in a decoded read reply and in a write's data bytes. Values
// travel as 16-bit integers, low byte first; each is widened by its wire type.
namespace RecordLayout {

constexpr int StatusPayload = 8;
constexpr int AdcPayload = 12;
constexpr int SetpointsPayload = 4;
constexpr int CalibrationPayload = 22;
constexpr int UserParamsPayload = 22;

// Shortest reply a read transaction accepts, and the length of a complete one (header + CRC).
constexpr int MinimumReply(int payload)
{
    return payload + 1;
}
constexpr int CompleteReply(int payload)
{
    return payload + 4;
}

// Each fills its record from a decoded reply of exactly the complete length and returns true;
// any other length leaves the record untouched and returns false, because a shorter reply
// lacks fields and a longer one belongs to another register.
bool TakeStatus(const QByteArray &reply, OutputStatus &status);
bool TakeAdc(const QByteArray &reply, AdcReadings &adc);
bool TakeSetpoints(const QByteArray &reply, Setpoints &setpoints);
bool TakeCalibration(const QByteArray &reply, CalibrationBlock &block);
bool TakeUserParams(const QByteArray &reply, UserParamBlock &block);

// The data bytes of each write; only the low 16 bits of each field are sent.
QByteArray PackSetpoints(const Setpoints &setpoints);
QByteArray PackOutputWord(qint32 word);
QByteArray PackCalibration(const CalibrationBlock &block);
QByteArray PackUserParams(const UserParamBlock &block); // the life counter goes out as 0

} // namespace RecordLayout
