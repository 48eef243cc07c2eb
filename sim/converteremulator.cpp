#include "sim/converteremulator.h"

#include "sim/commandset.h"
#include "sim/convertermodel.h"
#include "sim/pseudoterminal.h"
#include "sim/replyshaper.h"
#include "sim/requestassembler.h"
#include "sim/simcodec.h"
#include "sim/statefile.h"

#include <QFile>
#include <QMetaObject>
#include <QMutexLocker>
#include <QRandomGenerator>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <cerrno>
#include <unistd.h>
#include <utility>

ConverterEmulator::ConverterEmulator(QObject *parent)
    : QObject(parent), terminal(std::make_unique<PseudoTerminal>()),
      model(std::make_unique<ConverterModel>()), assembler(std::make_unique<RequestAssembler>()),
      serviceTimer(new QTimer(this)), returnTimer(new QTimer(this))
{
    qRegisterMetaType<EmulatorRequest>();
    clock.start();
    serviceTimer->setSingleShot(true);
    serviceTimer->setTimerType(Qt::PreciseTimer);
    connect(serviceTimer, &QTimer::timeout, this, &ConverterEmulator::serviceLine);
    returnTimer->setSingleShot(true);
    connect(returnTimer, &QTimer::timeout, this, [this] { comeBack(); });
}

ConverterEmulator::~ConverterEmulator()
{
    QMutexLocker lock(&mutex);
    if (running)
        saveState();
    closeTerminal();
}

template <typename F> void ConverterEmulator::inOwnThread(F f)
{
    if (QThread::currentThread() == thread())
        f();
    else
        QMetaObject::invokeMethod(this, f, Qt::BlockingQueuedConnection);
}

bool ConverterEmulator::start(QString *error)
{
    bool ok = false;
    QString path;
    inOwnThread([&] {
        QMutexLocker lock(&mutex);
        if (running) {
            ok = true;
            return;
        }
        ok = openTerminal(error);
        running = ok;
        path = terminal->slavePath();
    });
    if (ok && !path.isEmpty())
        emit serialPathChanged(path);
    return ok;
}

void ConverterEmulator::stop()
{
    bool wasRunning = false;
    inOwnThread([&] {
        QMutexLocker lock(&mutex);
        wasRunning = running;
        if (running)
            saveState();
        closeTerminal();
        returnTimer->stop();
        running = false;
    });
    if (wasRunning)
        emit serialPathChanged(QString());
}

bool ConverterEmulator::isRunning() const
{
    QMutexLocker lock(&mutex);
    return running;
}

QString ConverterEmulator::serialPath() const
{
    QMutexLocker lock(&mutex);
    return terminal->slavePath();
}

void ConverterEmulator::setLinkPath(const QString &path)
{
    QMutexLocker lock(&mutex);
    terminal->setLinkPath(path);
}

QString ConverterEmulator::linkPath() const
{
    QMutexLocker lock(&mutex);
    return terminal->linkPath();
}

void ConverterEmulator::setPaced(bool paced)
{
    QMutexLocker lock(&mutex);
    pacedLine = paced;
}

bool ConverterEmulator::paced() const
{
    QMutexLocker lock(&mutex);
    return pacedLine;
}

void ConverterEmulator::setAdapterLatencyMs(int ms)
{
    QMutexLocker lock(&mutex);
    adapterLatencyUs = qint64(qMax(0, ms)) * 1000;
}

int ConverterEmulator::adapterLatencyMs() const
{
    QMutexLocker lock(&mutex);
    return int(adapterLatencyUs / 1000);
}

void ConverterEmulator::setLineCheck(bool on)
{
    QMutexLocker lock(&mutex);
    lineCheckOn = on;
    refusedLine.clear();
}

bool ConverterEmulator::lineCheck() const
{
    QMutexLocker lock(&mutex);
    return lineCheckOn;
}

std::optional<LineSettings> ConverterEmulator::clientLineSettings() const
{
    QMutexLocker lock(&mutex);
    if (!terminal->isOpen())
        return std::nullopt;
    return LineSettings::read(terminal->slave());
}

void ConverterEmulator::hangUp()
{
    disappear(-1);
}

void ConverterEmulator::hangUpFor(int ms)
{
    disappear(qMax(0, ms));
}

void ConverterEmulator::disappear(int returnAfterMs)
{
    bool wasPresent = false;
    inOwnThread([&] {
        QMutexLocker lock(&mutex);
        wasPresent = terminal->isOpen();
        closeTerminal();
        if (running && returnAfterMs >= 0)
            returnTimer->start(returnAfterMs);
        else
            returnTimer->stop();
    });
    if (wasPresent)
        emit serialPathChanged(QString());
}

bool ConverterEmulator::comeBack(QString *error)
{
    bool ok = false;
    bool reopened = false;
    QString path;
    inOwnThread([&] {
        QMutexLocker lock(&mutex);
        returnTimer->stop();
        if (!running || terminal->isOpen()) {
            ok = running;
            if (!running && error)
                *error = QStringLiteral("the emulator is not running");
            return;
        }
        ok = reopened = openTerminal(error);
        path = terminal->slavePath();
    });
    if (reopened)
        emit serialPathChanged(path);
    return ok;
}

void ConverterEmulator::setLoadResistance(double ohms)
{
    QMutexLocker lock(&mutex);
    model->setLoadResistance(ohms);
}

double ConverterEmulator::loadResistance() const
{
    QMutexLocker lock(&mutex);
    return model->loadResistance(clock.elapsed());
}

void ConverterEmulator::setLoadProfile(const std::optional<LoadProfile> &profile)
{
    QMutexLocker lock(&mutex);
    const qint64 now = clock.elapsed();
    if (profile)
        model->setLoadProfile(profile, now);
    else
        model->setLoadResistance(model->loadResistance(now));
}

std::optional<LoadProfile> ConverterEmulator::loadProfile() const
{
    QMutexLocker lock(&mutex);
    return model->loadProfile();
}

void ConverterEmulator::setInputVoltage(int millivolts)
{
    QMutexLocker lock(&mutex);
    model->setInputVoltage(millivolts);
}

void ConverterEmulator::setReferenceVoltage(int millivolts)
{
    QMutexLocker lock(&mutex);
    model->setReferenceVoltage(millivolts);
}

void ConverterEmulator::setNoise(bool on)
{
    QMutexLocker lock(&mutex);
    model->setNoise(on);
}

void ConverterEmulator::setFineRangeThreshold(int milliamps)
{
    QMutexLocker lock(&mutex);
    model->setFineRangeThreshold(milliamps);
}

void ConverterEmulator::setSetpoints(const Setpoints &setpoints)
{
    QMutexLocker lock(&mutex);
    model->setSetpoints(setpoints);
}

Setpoints ConverterEmulator::setpoints() const
{
    QMutexLocker lock(&mutex);
    return model->setpoints();
}

void ConverterEmulator::setOutputOn(bool on)
{
    QMutexLocker lock(&mutex);
    model->setOutputOn(on, clock.elapsed());
}

bool ConverterEmulator::outputOn() const
{
    QMutexLocker lock(&mutex);
    return model->outputOn();
}

OutputStatus ConverterEmulator::status() const
{
    QMutexLocker lock(&mutex);
    return model->status(clock.elapsed());
}

AdcReadings ConverterEmulator::adc() const
{
    QMutexLocker lock(&mutex);
    return model->adc(clock.elapsed());
}

void ConverterEmulator::setFixedStatus(std::optional<OutputStatus> status)
{
    QMutexLocker lock(&mutex);
    model->setFixedStatus(status);
}

void ConverterEmulator::setFixedAdc(std::optional<AdcReadings> adc)
{
    QMutexLocker lock(&mutex);
    model->setFixedAdc(adc);
}

CalibrationBlock ConverterEmulator::calibration() const
{
    QMutexLocker lock(&mutex);
    return model->calibration();
}

void ConverterEmulator::setCalibration(const CalibrationBlock &block)
{
    QMutexLocker lock(&mutex);
    model->setCalibration(block);
}

UserParamBlock ConverterEmulator::userParams() const
{
    QMutexLocker lock(&mutex);
    return model->userParams(clock.elapsed());
}

void ConverterEmulator::setUserParams(const UserParamBlock &block)
{
    QMutexLocker lock(&mutex);
    model->setUserParams(block, clock.elapsed());
}

void ConverterEmulator::setLifeCounterUnitMs(qint64 ms)
{
    QMutexLocker lock(&mutex);
    model->setLifeCounterUnitMs(ms);
}

bool ConverterEmulator::setStateFile(const QString &path, QString *error)
{
    QMutexLocker lock(&mutex);
    stateFile = path;
    if (path.isEmpty() || !QFile::exists(path))
        return true;
    StateFile::State state;
    state.calibration = model->calibration();
    state.userParams = model->userParams(clock.elapsed());
    state.onTimeMs = model->onTimeMs(clock.elapsed());
    if (!StateFile::load(path, state, error))
        return false;
    model->setCalibration(state.calibration);
    model->writeUserParams(state.userParams);
    model->setOnTimeMs(state.onTimeMs, clock.elapsed());
    return true;
}

void ConverterEmulator::setFaults(const FaultSettings &faults)
{
    inOwnThread([&] {
        QMutexLocker lock(&mutex);
        faultSettings = faults;
        silentLeft = qMax(0, faults.silentFirst);
        // The flood runs on the master's write notifier, so it goes only as fast as the line.
        if (writeNotifier != nullptr && faults.flood != FaultSettings::Flood::Off)
            writeNotifier->setEnabled(true);
    });
}

FaultSettings ConverterEmulator::faults() const
{
    QMutexLocker lock(&mutex);
    return faultSettings;
}

void ConverterEmulator::clearFaults()
{
    setFaults(FaultSettings());
}

QVector<EmulatorRequest> ConverterEmulator::requests() const
{
    QMutexLocker lock(&mutex);
    return log;
}

void ConverterEmulator::clearRequests()
{
    QMutexLocker lock(&mutex);
    log.clear();
}

qint64 ConverterEmulator::uptimeMs() const
{
    return clock.elapsed();
}

bool ConverterEmulator::openTerminal(QString *error)
{
    if (!terminal->open(error))
        return false;
    readNotifier = new QSocketNotifier(terminal->master(), QSocketNotifier::Read, this);
    connect(readNotifier, &QSocketNotifier::activated, this, &ConverterEmulator::readMaster);
    writeNotifier = new QSocketNotifier(terminal->master(), QSocketNotifier::Write, this);
    writeNotifier->setEnabled(false);
    connect(writeNotifier, &QSocketNotifier::activated, this, &ConverterEmulator::writeMaster);
    return true;
}

void ConverterEmulator::closeTerminal()
{
    // Notifiers go before their descriptor does.
    delete readNotifier;
    delete writeNotifier;
    readNotifier = nullptr;
    writeNotifier = nullptr;
    terminal->close();
    serviceTimer->stop();
    assembler->reset();
    rxQueue.clear();
    txQueue.clear();
    arrived.clear();
    refusedLine.clear();
    refusalToReport.clear();
}

void ConverterEmulator::saveState()
{
    if (stateFile.isEmpty())
        return;
    const qint64 now = clock.elapsed();
    StateFile::save(stateFile,
                    {model->calibration(), model->userParams(now), model->onTimeMs(now)});
}

bool ConverterEmulator::lineFits()
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

void ConverterEmulator::emitQueued(const QVector<EmulatorRequest> &received, const QString &refusal)
{
    if (!refusal.isEmpty())
        emit lineSettingsRefused(refusal);
    for (const EmulatorRequest &request : received)
        emit requestReceived(request);
}

void ConverterEmulator::readMaster()
{
    QVector<EmulatorRequest> received;
    QString refusal;
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
        const qint64 now = nowUs();
        takeArrivedBytes(now, received);
        sendDuePieces(now);
        scheduleService(now);
        refusal = std::exchange(refusalToReport, QString());
    }
    emitQueued(received, refusal);
}

void ConverterEmulator::writeMaster()
{
    {
        QMutexLocker lock(&mutex);
        if (faultSettings.flood != FaultSettings::Flood::Off && terminal->isOpen()) {
            writeNoise();
            return;
        }
        if (writeNotifier)
            writeNotifier->setEnabled(false);
    }
    serviceLine();
}

void ConverterEmulator::writeNoise()
{
    constexpr int NoiseChunk = 4096;
    static const char HexDigits[] = "0123456789ABCDEF";
    QByteArray noise(NoiseChunk, Qt::Uninitialized);
    QRandomGenerator *random = QRandomGenerator::global();
    for (int i = 0; i < NoiseChunk; ++i) {
        const quint32 value = random->generate();
        noise[i] = faultSettings.flood == FaultSettings::Flood::RandomBytes
                       ? char(value & 0xFF)
                       : HexDigits[value & 0x0F];
    }
    if (faultSettings.flood == FaultSettings::Flood::HexWithoutEnd)
        noise[0] = SimCodec::ReplyStart;
    // A full line (EAGAIN) just waits for the next notification.
    [[maybe_unused]] const ssize_t written =
        ::write(terminal->master(), noise.constData(), size_t(noise.size()));
}

void ConverterEmulator::serviceLine()
{
    QVector<EmulatorRequest> received;
    QString refusal;
    {
        QMutexLocker lock(&mutex);
        if (!terminal->isOpen())
            return;
        const qint64 now = nowUs();
        takeArrivedBytes(now, received);
        sendDuePieces(now);
        scheduleService(now);
        refusal = std::exchange(refusalToReport, QString());
    }
    emitQueued(received, refusal);
}

void ConverterEmulator::takeArrivedBytes(qint64 now, QVector<EmulatorRequest> &received)
{
    if (rxQueue.isEmpty())
        return;
    int arrived = rxQueue.size();
    if (pacedLine) {
        arrived = int(qMin<qint64>(rxQueue.size(), qMax<qint64>(0, now - rxStartUs) / CharTimeUs));
        rxStartUs += qint64(arrived) * CharTimeUs;
    }
    if (arrived == 0)
        return;
    const QByteArray bytes = rxQueue.left(arrived);
    rxQueue.remove(0, arrived);
    for (const RequestAssembler::Frame &frame : assembler->feed(bytes))
        handleFrame(frame.text, frame.complete, received);
}

void ConverterEmulator::handleFrame(const QByteArray &text, bool complete,
                                    QVector<EmulatorRequest> &received)
{
    EmulatorRequest request;
    request.timeMs = clock.elapsed();
    request.rawFrame = text;
    const std::optional<QByteArray> bytes =
        complete ? SimCodec::fromHex(text.mid(1)) : std::nullopt;
    if (bytes && bytes->size() >= 4) {
        request.parsed = true;
        request.registerCode = quint8(bytes->at(0));
        request.operationCode = quint8(bytes->at(1));
        request.data = bytes->mid(2, bytes->size() - 4);
        request.crcValid = SimCodec::crc16(*bytes) == 0;
    }

    if (request.crcValid && !faultSettings.silent && silentLeft == 0 &&
        faultSettings.flood == FaultSettings::Flood::Off) {
        const qint64 nowMs = clock.elapsed();
        const std::optional<CommandSet::Answer> answer = CommandSet::answer(
            *model, request.registerCode, request.operationCode, request.data, nowMs,
            faultSettings.nak ? CommandSet::Writes::Refuse : CommandSet::Writes::Accept);
        if (answer) {
            request.answered = true;
            QByteArray reply = answer->headerAndPayload;
            if (faultSettings.stale)
                std::swap(reply, previousAnswer);
            else
                previousAnswer = reply;
            if (!reply.isEmpty()) {
                const qint64 requestUs = nowUs();
                for (const ReplyShaper::Piece &piece : ReplyShaper::shape(reply, faultSettings))
                    txQueue.append({piece.bytes, requestUs + qint64(piece.offsetMs) * 1000});
            }
            if (answer->storedBlockChanged)
                saveState();
        }
    } else if (request.crcValid && silentLeft > 0) {
        --silentLeft;
    }

    if (log.size() >= RequestLogLimit)
        log.removeFirst();
    log.append(request);
    received.append(request);
}

void ConverterEmulator::sendDuePieces(qint64 now)
{
    takeArrivedCharacters(now);
    handOverToSerialEnd(now);
}

void ConverterEmulator::takeArrivedCharacters(qint64 now)
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

void ConverterEmulator::handOverToSerialEnd(qint64 now)
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

void ConverterEmulator::scheduleService(qint64 now)
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
