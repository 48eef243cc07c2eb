#include "sim/emulatorterminal.h"

#include "sim/pseudoterminal.h"
#include "sim/simcodec.h"

#include <QMutex>
#include <QMutexLocker>
#include <QRandomGenerator>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <unistd.h>
#include <utility>

EmulatorTerminal::EmulatorTerminal(QMutex &mutex, FrameHandler handler, QObject *parent)
    : QObject(parent), mutex(mutex), handleFrame(std::move(handler)),
      terminal(std::make_unique<PseudoTerminal>()), serviceTimer(new QTimer(this))
{
    clock.start();
    serviceTimer->setSingleShot(true);
    serviceTimer->setTimerType(Qt::PreciseTimer);
    connect(serviceTimer, &QTimer::timeout, this, &EmulatorTerminal::serviceLine);
}

EmulatorTerminal::~EmulatorTerminal()
{
    close();
}

bool EmulatorTerminal::open(QString *error)
{
    if (!terminal->open(error))
        return false;
    readNotifier = new QSocketNotifier(terminal->master(), QSocketNotifier::Read, this);
    connect(readNotifier, &QSocketNotifier::activated, this, &EmulatorTerminal::readMaster);
    writeNotifier = new QSocketNotifier(terminal->master(), QSocketNotifier::Write, this);
    writeNotifier->setEnabled(false);
    connect(writeNotifier, &QSocketNotifier::activated, this, &EmulatorTerminal::writeMaster);
    return true;
}

void EmulatorTerminal::close()
{
    // Notifiers go before their descriptor does.
    delete readNotifier;
    delete writeNotifier;
    readNotifier = nullptr;
    writeNotifier = nullptr;
    terminal->close();
    serviceTimer->stop();
    assembler.reset();
    rxQueue.clear();
    txQueue.clear();
    arrived.clear();
    refusedLine.clear();
    refusalToReport.clear();
}

bool EmulatorTerminal::isOpen() const
{
    return terminal->isOpen();
}

QString EmulatorTerminal::slavePath() const
{
    return terminal->slavePath();
}

void EmulatorTerminal::setLinkPath(const QString &path)
{
    terminal->setLinkPath(path);
}

QString EmulatorTerminal::linkPath() const
{
    return terminal->linkPath();
}

void EmulatorTerminal::setPaced(bool paced)
{
    pacedLine = paced;
}

void EmulatorTerminal::setAdapterLatencyMs(int ms)
{
    adapterLatencyUs = qint64(qMax(0, ms)) * 1000;
}

void EmulatorTerminal::setLineCheck(bool on)
{
    lineCheckOn = on;
    refusedLine.clear();
}

std::optional<LineSettings> EmulatorTerminal::clientLineSettings() const
{
    if (!terminal->isOpen())
        return std::nullopt;
    return LineSettings::read(terminal->slave());
}

void EmulatorTerminal::setFlood(FaultSettings::Flood flood)
{
    floodMode = flood;
    // The flood runs on the master's write notifier, so it goes only as fast as the line.
    if (writeNotifier != nullptr && flood != FaultSettings::Flood::Off)
        writeNotifier->setEnabled(true);
}

bool EmulatorTerminal::lineFits()
{
    if (!lineCheckOn)
        return true;
    // Termios belongs to the terminal, not to a descriptor, so the slave the emulator holds
    // shows what the client set.
    const std::optional<LineSettings> line = LineSettings::read(terminal->slave());
    if (line && *line == LineSettings::converterLine()) {
        refusedLine.clear();
        return true;
    }
    const QString text = line ? line->text() : QStringLiteral("unreadable line settings");
    if (text != refusedLine)
        refusedLine = refusalToReport = text;
    return false;
}

void EmulatorTerminal::readMaster()
{
    {
        QMutexLocker lock(&mutex);
        if (!terminal->isOpen())
            return;
        QByteArray incoming;
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(terminal->master(), buffer, sizeof buffer);
            if (n > 0) {
                incoming.append(buffer, int(n));
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
                // The slave is held open, so this should not happen; never spin on it.
                readNotifier->setEnabled(false);
            }
            break;
        }
        if (!incoming.isEmpty() && lineFits()) {
            if (rxQueue.isEmpty())
                rxStartUs = qMax(rxStartUs, nowUs());
            rxQueue.append(incoming);
        }
    }
    serviceLine();
}

void EmulatorTerminal::writeMaster()
{
    {
        QMutexLocker lock(&mutex);
        if (floodMode != FaultSettings::Flood::Off && terminal->isOpen()) {
            writeNoise();
            return;
        }
        if (writeNotifier)
            writeNotifier->setEnabled(false);
    }
    serviceLine();
}

void EmulatorTerminal::writeNoise()
{
    constexpr int NoiseChunk = 4096;
    static const char HexDigits[] = "0123456789ABCDEF";
    QByteArray noise(NoiseChunk, Qt::Uninitialized);
    QRandomGenerator *random = QRandomGenerator::global();
    for (int i = 0; i < NoiseChunk; ++i) {
        const quint32 value = random->generate();
        noise[i] = floodMode == FaultSettings::Flood::RandomBytes ? char(value & 0xFF)
                                                                  : HexDigits[value & 0x0F];
    }
    if (floodMode == FaultSettings::Flood::HexWithoutEnd)
        noise[0] = SimCodec::ReplyStart;
    // A full line (EAGAIN) just waits for the next notification.
    [[maybe_unused]] const ssize_t written =
        ::write(terminal->master(), noise.constData(), size_t(noise.size()));
}

void EmulatorTerminal::serviceLine()
{
    QVector<EmulatorRequest> received;
    QString refusal;
    {
        QMutexLocker lock(&mutex);
        if (!terminal->isOpen())
            return;
        const qint64 now = nowUs();
        takeArrivedBytes(now, received);
        takeArrivedCharacters(now);
        handOverToSerialEnd(now);
        scheduleService(now);
        refusal = std::exchange(refusalToReport, QString());
    }
    // Signals go out unlocked, so that their receivers may call back into the emulator.
    if (!refusal.isEmpty())
        emit lineSettingsRefused(refusal);
    for (const EmulatorRequest &request : received)
        emit requestReceived(request);
}

void EmulatorTerminal::takeArrivedBytes(qint64 now, QVector<EmulatorRequest> &received)
{
    if (rxQueue.isEmpty())
        return;
    int count = rxQueue.size();
    if (pacedLine) {
        count = int(qMin<qint64>(rxQueue.size(), qMax<qint64>(0, now - rxStartUs) / CharTimeUs));
        rxStartUs += qint64(count) * CharTimeUs;
    }
    if (count == 0)
        return;
    const QByteArray bytes = rxQueue.left(count);
    rxQueue.remove(0, count);
    for (const RequestAssembler::Frame &frame : assembler.feed(bytes)) {
        const Exchange exchange = handleFrame(frame);
        const qint64 requestUs = nowUs();
        for (const ReplyShaper::Piece &piece : exchange.reply)
            txQueue.append({piece.bytes, requestUs + qint64(piece.offsetMs) * 1000});
        received.append(exchange.request);
    }
}

void EmulatorTerminal::takeArrivedCharacters(qint64 now)
{
    while (!txQueue.isEmpty()) {
        TxPiece &piece = txQueue.first();
        if (now < piece.notBeforeUs)
            return;
        int count = piece.bytes.size();
        qint64 firstArrivalUs = piece.notBeforeUs;
        if (pacedLine) {
            // A character reaches the far end only once all its bits are on the line.
            const qint64 lineStart = qMax(txFreeUs, piece.notBeforeUs);
            count = int(qMin<qint64>(count, qMax<qint64>(0, now - lineStart) / CharTimeUs));
            if (count == 0)
                return;
            txFreeUs = lineStart + qint64(count) * CharTimeUs;
            firstArrivalUs = lineStart + CharTimeUs;
        }
        if (arrived.isEmpty())
            arrivedFirstUs = firstArrivalUs;
        arrived.append(piece.bytes.left(count));
        piece.bytes.remove(0, count);
        if (!piece.bytes.isEmpty())
            return;
        txQueue.removeFirst();
    }
}

void EmulatorTerminal::handOverToSerialEnd(qint64 now)
{
    if (arrived.isEmpty() || writeNotifier->isEnabled())
        return;
    if (adapterLatencyUs > 0 && arrived.size() < AdapterPacketBytes &&
        now < arrivedFirstUs + adapterLatencyUs)
        return;
    if (!lineFits()) {
        // A program at another speed would only see garbage; it gets nothing instead.
        arrived.clear();
        return;
    }
    const ssize_t written =
        ::write(terminal->master(), arrived.constData(), size_t(arrived.size()));
    if (written < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            writeNotifier->setEnabled(true);
        } else {
            // The line is gone; nothing will ever read these.
            txQueue.clear();
            arrived.clear();
        }
        return;
    }
    arrived.remove(0, int(written));
    if (!arrived.isEmpty())
        writeNotifier->setEnabled(true);
}

void EmulatorTerminal::scheduleService(qint64 now)
{
    qint64 wake = -1;
    const auto consider = [&wake](qint64 at) { wake = wake < 0 ? at : qMin(wake, at); };
    if (!rxQueue.isEmpty()) {
        // Nothing happens before a frame ends, so wake when the next CR has arrived.
        const int end = rxQueue.indexOf(SimCodec::EndChar);
        const int needed = end < 0 ? rxQueue.size() : end + 1;
        consider(rxStartUs + qint64(needed) * CharTimeUs);
    }
    if (!txQueue.isEmpty()) {
        const TxPiece &piece = txQueue.first();
        const qint64 nextArrivalUs =
            pacedLine ? qMax(txFreeUs, piece.notBeforeUs) + CharTimeUs : piece.notBeforeUs;
        if (adapterLatencyUs == 0) {
            consider(nextArrivalUs);
        } else {
            // A packet cannot fill sooner than this; an early wake only finds it not yet full.
            const int missing = qMax(1, AdapterPacketBytes - arrived.size());
            consider(nextArrivalUs + qint64(missing - 1) * (pacedLine ? CharTimeUs : 0));
            if (arrived.isEmpty())
                consider(nextArrivalUs + adapterLatencyUs);
        }
    }
    if (!arrived.isEmpty() && !(writeNotifier && writeNotifier->isEnabled()))
        consider(arrivedFirstUs + adapterLatencyUs);
    if (wake < 0) {
        serviceTimer->stop();
        return;
    }
    // Round up: waking early would only find nothing due and go back to sleep.
    serviceTimer->start(int(qMax<qint64>(0, (wake - now + 999) / 1000)));
}
