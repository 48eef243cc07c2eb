#pragma once

#include "link/devicerecords.h"
#include "link/linkresult.h"

#include <QByteArray>
#include <QPointer>
#include <QTextStream>
#include <QtGlobal>

#include <cstdio>
#include <functional>
#include <optional>

class QElapsedTimer;
class QIODevice;
class QTimer;

// The converter's protocol on one serial port: request frames, reply lines, the read and write
// transactions and the typed commands built on them. It runs on the thread that owns the port
// and keeps that thread's events flowing while it waits for a reply.
class DeviceLink
{
public:
    DeviceLink();
    DeviceLink(const DeviceLink &) = delete;
    DeviceLink &operator=(const DeviceLink &) = delete;

    // The port is not owned; the link works with it in whatever state it is (closed: frames are
    // dropped and every wait runs to its time-out).
    void SetPort(QIODevice *port);
    // Where the trace lines go: to this device, or with nullptr to the "vornex.link.trace"
    // logging category, whose debug messages are off unless QT_LOGGING_RULES asks for them.
    void SetTrace(QIODevice *device);

    // Typed commands, each with the 200 ms time-out. A read fills its record only on Success.
    LinkResult GetStatus(OutputStatus &status);
    LinkResult GetAdc(AdcReadings &adc);
    LinkResult GetSetpoints(Setpoints &setpoints);
    LinkResult GetCalibration(CalibrationBlock &block, quint8 operationCode);
    LinkResult GetUserParams(UserParamBlock &block, quint8 operationCode);
    LinkResult SetSetpoints(qint32 voltage, qint32 current);
    LinkResult SetOutput(qint32 word);
    LinkResult SetCalibration(const CalibrationBlock &block, quint8 operationCode);
    // The life counter goes out as 0: the converter counts it itself.
    LinkResult SetUserParams(const UserParamBlock &block, quint8 operationCode);

    // Transactions. A write sends once and wants the ack byte; a read sends up to twice and
    // wants at least minimum bytes with a good CRC (reply then holds all decoded bytes), passing
    // over whole replies of another register while it waits.
    LinkResult WriteCommand(quint8 registerCode, const quint8 *data, quint8 count, quint8 timeoutMs,
                            quint8 operationCode);
    LinkResult ReadCommand(QByteArray &reply, quint8 registerCode, quint8 minimum, quint8 timeoutMs,
                           quint8 operationCode);

    // Waits up to timeoutMs for a complete reply line, processing events meanwhile.
    bool GetLine(QByteArray &line, int timeoutMs);
    // Takes up to 100 waiting bytes into line; true once line holds an end character.
    bool ReadChunk(QByteArray &line);

    // Frame output: n + 6 separate writes per frame, each between two drain waits.
    void WriteRaw(const char *data, quint8 count);
    void SendHexByte(quint8 byte);
    void SendFrame(quint8 registerCode, quint8 operationCode, const quint8 *data, quint8 count);

private:
    LinkResult ReadBlock(quint8 registerCode, quint8 operationCode, int payload,
                         const std::function<bool(const QByteArray &)> &take);
    LinkResult WriteBlock(quint8 registerCode, quint8 operationCode, const QByteArray &data);
    void DrainOutput();
    bool PortHasBytes() const;
    // GetLine for a read of awaitedRegister (any line without one): whole replies of another
    // register are late answers to earlier requests and are passed over, the wait going on for
    // its own.
    bool AwaitLine(QByteArray &line, int timeoutMs, std::optional<quint8> awaitedRegister);
    // The wait, without the trace's opening line and final flush: woken by the port's bytes
    // and by its deadline, which SleepUntilLine starts as it needs it.
    bool WaitForLine(QByteArray &line, int timeoutMs, const QElapsedTimer &stopwatch,
                     std::optional<quint8> awaitedRegister);
    bool SleepUntilLine(QByteArray &line, int timeoutMs, const QElapsedTimer &stopwatch,
                        std::optional<quint8> awaitedRegister, QTimer &deadline);
    // True when line holds an end character; traces the completed line.
    bool IsCompleteLine(const QByteArray &line);
    // Drops late replies of another register from the front of line; true when a complete
    // line is left.
    bool PassOverLateReplies(QByteArray &line, std::optional<quint8> awaitedRegister);
    void WriteOutTrace();

    // A guarded pointer: the port may be destroyed while a wait is processing events.
    QPointer<QIODevice> port;
    // A wait's trace lines, written out at its end: a reply may come a character at a time.
    QByteArray traceText;
    QTextStream trace{&traceText, QIODevice::WriteOnly};
    QPointer<QIODevice> traceDevice;
    bool tracing = false;
};
