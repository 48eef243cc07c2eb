#include "link/devicelink.h"

#include "link/deviceprotocol.h"
#include "link/framecodec.h"
#include "link/recordlayout.h"
#include "link/replycheck.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QIODevice>
#include <QLoggingCategory>
#include <QSerialPort>
#include <QTextCodec>
#include <QTimer>

namespace {

// Off by default: a week-long run would otherwise write four lines a second.
Q_LOGGING_CATEGORY(linkTrace, "vornex.link.trace", QtWarningMsg)

constexpr int DrainTimeoutMs = 200;
constexpr qint64 ChunkSize = 100;

const quint8 *Bytes(const QByteArray &data)
{
    return reinterpret_cast<const quint8 *>(data.constData());
}

// Trace lines carry reply bytes as received; Latin-1 writes each byte unchanged.
void WriteBytesUnchanged(QTextStream &trace)
{
    trace.setCodec(QTextCodec::codecForName("ISO-8859-1"));
}

} // namespace

DeviceLink::DeviceLink()
{
    WriteBytesUnchanged(trace);
}

void DeviceLink::SetTrace(QIODevice *device)
{
    traceDevice = device;
}

void DeviceLink::WriteOutTrace()
{
    trace.flush();
    if (traceDevice) {
        traceDevice->write(traceText);
    } else {
        // A message a line: the category's messages each end in a line feed of their own.
        const QList<QByteArray> lines = traceText.split('\n');
        for (int i = 0; i + 1 < lines.size(); ++i)
            qCDebug(linkTrace).noquote() << QString::fromLatin1(lines.at(i));
    }
    traceText.clear();
    trace.seek(0);
}

void DeviceLink::SetPort(QIODevice *port)
{
    this->port = port;
}

void DeviceLink::WriteRaw(const char *data, quint8 count)
{
    if (!port || !port->isOpen())
        return;
    DrainOutput();
    port->write(data, count);
    DrainOutput();
}

void DeviceLink::DrainOutput()
{
    // A serial port hands its queue to the system at once when the system can take it, which
    // for a frame's few characters it always can; waiting for writability first would cost a
    // poll of the port for every piece of every frame.
    if (auto *serial = qobject_cast<QSerialPort *>(port); serial && serial->bytesToWrite() > 0)
        serial->flush();
    // Only wait while something is queued: QSerialPort's wait with an empty queue can still
    // block for its whole time-out, waiting for a bytesWritten report owed by the last write.
    // A failed hand-over may have closed the port (a hung-up device); its queue is then moot.
    if (port->isOpen() && port->bytesToWrite() > 0)
        port->waitForBytesWritten(DrainTimeoutMs);
}

void DeviceLink::SendHexByte(quint8 byte)
{
    const QByteArray pair = FrameCodec::HexByte(byte);
    WriteRaw(pair.constData(), quint8(pair.size()));
}

void DeviceLink::SendFrame(quint8 registerCode, quint8 operationCode, const quint8 *data,
                           quint8 count)
{
    WriteRaw(&FrameCodec::RequestStart, 1);
    SendHexByte(registerCode);
    SendHexByte(operationCode);
    for (int i = 0; i < count; ++i)
        SendHexByte(data[i]);
    const quint16 crc = FrameCodec::RequestCrc(registerCode, operationCode, data, count);
    SendHexByte(quint8(crc >> 8));
    SendHexByte(quint8(crc & 0xFF));
    WriteRaw(&FrameCodec::EndChar, 1);
    // With the queue empty, a flush makes QSerialPort switch its write notifier off now; left
    // on, it would wake the reply wait once more just to find nothing to write.
    if (auto *serial = qobject_cast<QSerialPort *>(port); serial && serial->isOpen())
        serial->flush();
}

bool DeviceLink::PortHasBytes() const
{
    return port && port->isOpen() && port->bytesAvailable() > 0;
}

bool DeviceLink::ReadChunk(QByteArray &line)
{
    if (!port || !port->isOpen() || port->atEnd())
        return false;
    const QByteArray chunk = port->read(ChunkSize);
    if (line.contains(FrameCodec::ReplyStart)) {
        line.append(chunk);
        if (tracing)
            trace << "line+" << QString::fromLatin1(chunk) << '\n';
    } else {
        const int start = chunk.indexOf(FrameCodec::ReplyStart);
        if (start < 0)
            return false;
        line = chunk.mid(start);
        if (tracing)
            trace << "line=" << QString::fromLatin1(line) << '\n';
    }
    // Noise without an end never becomes a line of unbounded length.
    FrameCodec::DropOverlongLine(line);
    return IsCompleteLine(line);
}

bool DeviceLink::IsCompleteLine(const QByteArray &line)
{
    if (!line.contains(FrameCodec::EndChar))
        return false;
    if (tracing)
        trace << "\nLineCode = " << QString::fromLatin1(line) << '\n';
    return true;
}

bool DeviceLink::GetLine(QByteArray &line, int timeoutMs)
{
    return AwaitLine(line, timeoutMs, std::nullopt);
}

bool DeviceLink::AwaitLine(QByteArray &line, int timeoutMs, std::optional<quint8> awaitedRegister)
{
    QElapsedTimer stopwatch;
    stopwatch.start();
    tracing = traceDevice || linkTrace().isDebugEnabled();
    if (tracing)
        trace << "Call GetLine\n";
    line.clear();
    const bool complete = WaitForLine(line, timeoutMs, stopwatch, awaitedRegister);
    // One write per wait: a reply may come a character at a time, and a write per piece
    // would cost a system call each.
    if (tracing)
        WriteOutTrace();
    return complete;
}

bool DeviceLink::WaitForLine(QByteArray &line, int timeoutMs, const QElapsedTimer &stopwatch,
                             std::optional<quint8> awaitedRegister)
{
    // The deadline only wakes the loop; the strict elapsed-time check decides. It fires one
    // millisecond late so that the check has passed once it has fired.
    QTimer deadline;
    deadline.setTimerType(Qt::PreciseTimer);
    deadline.setSingleShot(true);
    // Both the port's bytes and the deadline wake the wait explicitly, for Windows: a serial
    // port there takes in its bytes from completion routines that run inside the event loop's
    // wait without ending it, and a call to processEvents first delivers the events posted
    // before it, the deadline's among them, and then sleeps until a message comes. Elsewhere a
    // wake-up is one more return from an already returning wait.
    QMetaObject::Connection wakeOnBytes;
    if (QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance()) {
        const auto wake = [dispatcher] { dispatcher->wakeUp(); };
        QObject::connect(&deadline, &QTimer::timeout, dispatcher, wake);
        if (port)
            wakeOnBytes = QObject::connect(port.data(), &QIODevice::readyRead, dispatcher, wake);
    }
    const bool complete = SleepUntilLine(line, timeoutMs, stopwatch, awaitedRegister, deadline);
    QObject::disconnect(wakeOnBytes);
    return complete;
}

bool DeviceLink::SleepUntilLine(QByteArray &line, int timeoutMs, const QElapsedTimer &stopwatch,
                                std::optional<quint8> awaitedRegister, QTimer &deadline)
{
    for (;;) {
        // Sleep in the event loop until bytes, the deadline or any other event arrive, but
        // never while unread bytes are already waiting in the port.
        QEventLoop::ProcessEventsFlags flags = QEventLoop::AllEvents;
        if (!PortHasBytes()) {
            flags |= QEventLoop::WaitForMoreEvents;
            if (!deadline.isActive())
                deadline.start(int(qMax<qint64>(0, timeoutMs - stopwatch.elapsed())) + 1);
        }
        QCoreApplication::processEvents(flags);
        const bool timedOut = stopwatch.elapsed() > timeoutMs;
        // What reached the port before the deadline is read before the wait gives up: a reply
        // whose wake-up came late is still the reply.
        while (PortHasBytes()) {
            if (ReadChunk(line) && PassOverLateReplies(line, awaitedRegister))
                return true;
        }
        if (timedOut)
            return false;
    }
}

// Once a reply has come late, every later one would answer the request before it, for as long
// as the device is polled; dropping the late one here keeps the next transaction in step.
bool DeviceLink::PassOverLateReplies(QByteArray &line, std::optional<quint8> awaitedRegister)
{
    if (!awaitedRegister)
        return true;
    while (ReplyCheck::IsReplyOfAnotherRegister(line, *awaitedRegister)) {
        FrameCodec::DropFirstLine(line);
        if (!IsCompleteLine(line))
            return false;
    }
    return true;
}

LinkResult DeviceLink::WriteCommand(quint8 registerCode, const quint8 *data, quint8 count,
                                    quint8 timeoutMs, quint8 operationCode)
{
    SendFrame(registerCode, operationCode, data, count);
    QByteArray line;
    if (!GetLine(line, timeoutMs))
        return NoReply;
    return ReplyCheck::JudgeWriteLine(line);
}

LinkResult DeviceLink::ReadCommand(QByteArray &reply, quint8 registerCode, quint8 minimum,
                                   quint8 timeoutMs, quint8 operationCode)
{
    QByteArray line;
    bool received = false;
    for (int attempt = 0; attempt < 2 && !received; ++attempt) {
        SendFrame(registerCode, operationCode, nullptr, 0);
        received = AwaitLine(line, timeoutMs, registerCode);
    }
    if (!received)
        return NoReply;
    return ReplyCheck::JudgeReadLine(line, registerCode, minimum, reply);
}

LinkResult DeviceLink::ReadBlock(quint8 registerCode, quint8 operationCode, int payload,
                                 const std::function<bool(const QByteArray &)> &take)
{
    QByteArray reply;
    const LinkResult result =
        ReadCommand(reply, registerCode, quint8(RecordLayout::MinimumReply(payload)),
                    DeviceProtocol::CommandTimeoutMs, operationCode);
    if (result != Success)
        return result;
    return take(reply) ? Success : BadReply;
}

LinkResult DeviceLink::WriteBlock(quint8 registerCode, quint8 operationCode, const QByteArray &data)
{
    return WriteCommand(registerCode, Bytes(data), quint8(data.size()),
                        DeviceProtocol::CommandTimeoutMs, operationCode);
}

LinkResult DeviceLink::GetStatus(OutputStatus &status)
{
    return ReadBlock(
        DeviceRegister::Status, DeviceOperation::Read, RecordLayout::StatusPayload,
        [&status](const QByteArray &reply) { return RecordLayout::TakeStatus(reply, status); });
}

LinkResult DeviceLink::GetAdc(AdcReadings &adc)
{
    return ReadBlock(DeviceRegister::Adc, DeviceOperation::Read, RecordLayout::AdcPayload,
                     [&adc](const QByteArray &reply) { return RecordLayout::TakeAdc(reply, adc); });
}

LinkResult DeviceLink::GetSetpoints(Setpoints &setpoints)
{
    return ReadBlock(DeviceRegister::Setpoints, DeviceOperation::Read,
                     RecordLayout::SetpointsPayload, [&setpoints](const QByteArray &reply) {
                         return RecordLayout::TakeSetpoints(reply, setpoints);
                     });
}

LinkResult DeviceLink::GetCalibration(CalibrationBlock &block, quint8 operationCode)
{
    return ReadBlock(
        DeviceRegister::Calibration, operationCode, RecordLayout::CalibrationPayload,
        [&block](const QByteArray &reply) { return RecordLayout::TakeCalibration(reply, block); });
}

LinkResult DeviceLink::GetUserParams(UserParamBlock &block, quint8 operationCode)
{
    return ReadBlock(
        DeviceRegister::UserParams, operationCode, RecordLayout::UserParamsPayload,
        [&block](const QByteArray &reply) { return RecordLayout::TakeUserParams(reply, block); });
}

LinkResult DeviceLink::SetSetpoints(qint32 voltage, qint32 current)
{
    return WriteBlock(DeviceRegister::Setpoints, DeviceOperation::Write,
                      RecordLayout::PackSetpoints(Setpoints{voltage, current}));
}

LinkResult DeviceLink::SetOutput(qint32 word)
{
    return WriteBlock(DeviceRegister::OutputSwitch, DeviceOperation::Write,
                      RecordLayout::PackOutputWord(word));
}

LinkResult DeviceLink::SetCalibration(const CalibrationBlock &block, quint8 operationCode)
{
    return WriteBlock(DeviceRegister::Calibration, operationCode,
                      RecordLayout::PackCalibration(block));
}

LinkResult DeviceLink::SetUserParams(const UserParamBlock &block, quint8 operationCode)
{
    return WriteBlock(DeviceRegister::UserParams, operationCode,
                      RecordLayout::PackUserParams(block));
}
