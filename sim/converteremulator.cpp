#include "sim/converteremulator.h"

#include "sim/commandset.h"
#include "sim/convertermodel.h"
#include "sim/simcodec.h"
#include "sim/statefile.h"

#include <QFile>
#include <QMetaObject>
#include <QMutexLocker>
#include <QThread>
#include <QTimer>

#include <type_traits>
#include <utility>

template <typename F> auto ConverterEmulator::locked(F f) const
{
    QMutexLocker lock(&mutex);
    return f();
}

template <typename F> auto ConverterEmulator::lockedInOwnThread(F f)
{
    using Result = decltype(f());
    if (QThread::currentThread() == thread())
        return locked(f);
    if constexpr (std::is_void_v<Result>) {
        QMetaObject::invokeMethod(
            this, [&] { locked(f); }, Qt::BlockingQueuedConnection);
    } else {
        Result result{};
        QMetaObject::invokeMethod(
            this, [&] { return locked(f); }, Qt::BlockingQueuedConnection, &result);
        return result;
    }
}

ConverterEmulator::ConverterEmulator(QObject *parent)
    : QObject(parent), model(std::make_unique<ConverterModel>()),
      terminal(new EmulatorTerminal(
          mutex, [this](const RequestAssembler::Frame &frame) { return handleFrame(frame); },
          this)),
      returnTimer(new QTimer(this))
{
    qRegisterMetaType<EmulatorRequest>();
    clock.start();
    connect(terminal, &EmulatorTerminal::requestReceived, this,
            &ConverterEmulator::requestReceived);
    connect(terminal, &EmulatorTerminal::lineSettingsRefused, this,
            &ConverterEmulator::lineSettingsRefused);
    returnTimer->setSingleShot(true);
    connect(returnTimer, &QTimer::timeout, this, [this] { comeBack(); });
}

ConverterEmulator::~ConverterEmulator()
{
    QMutexLocker lock(&mutex);
    if (running)
        saveState();
    terminal->close();
}

bool ConverterEmulator::start(QString *error)
{
    const auto [ok, path] = lockedInOwnThread([&] {
        if (running)
            return std::pair(true, QString());
        running = terminal->open(error);
        return std::pair(running, terminal->slavePath());
    });
    if (ok && !path.isEmpty())
        emit serialPathChanged(path);
    return ok;
}

void ConverterEmulator::stop()
{
    const bool wasRunning = lockedInOwnThread([&] {
        if (running)
            saveState();
        terminal->close();
        returnTimer->stop();
        return std::exchange(running, false);
    });
    if (wasRunning)
        emit serialPathChanged(QString());
}

bool ConverterEmulator::isRunning() const
{
    return locked([this] { return running; });
}

QString ConverterEmulator::serialPath() const
{
    return locked([this] { return terminal->slavePath(); });
}

void ConverterEmulator::setLinkPath(const QString &path)
{
    locked([&] { terminal->setLinkPath(path); });
}

QString ConverterEmulator::linkPath() const
{
    return locked([this] { return terminal->linkPath(); });
}

void ConverterEmulator::setPaced(bool paced)
{
    locked([&] { terminal->setPaced(paced); });
}

bool ConverterEmulator::paced() const
{
    return locked([this] { return terminal->paced(); });
}

void ConverterEmulator::setAdapterLatencyMs(int ms)
{
    locked([&] { terminal->setAdapterLatencyMs(ms); });
}

int ConverterEmulator::adapterLatencyMs() const
{
    return locked([this] { return terminal->adapterLatencyMs(); });
}

void ConverterEmulator::setLineCheck(bool on)
{
    locked([&] { terminal->setLineCheck(on); });
}

bool ConverterEmulator::lineCheck() const
{
    return locked([this] { return terminal->lineCheck(); });
}

std::optional<LineSettings> ConverterEmulator::clientLineSettings() const
{
    return locked([this] { return terminal->clientLineSettings(); });
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
    const bool wasPresent = lockedInOwnThread([&] {
        const bool present = terminal->isOpen();
        terminal->close();
        if (running && returnAfterMs >= 0)
            returnTimer->start(returnAfterMs);
        else
            returnTimer->stop();
        return present;
    });
    if (wasPresent)
        emit serialPathChanged(QString());
}

bool ConverterEmulator::comeBack(QString *error)
{
    // The new path is empty unless the terminal opened anew.
    const auto [ok, path] = lockedInOwnThread([&] {
        returnTimer->stop();
        if (!running || terminal->isOpen()) {
            if (!running && error)
                *error = QStringLiteral("the emulator is not running");
            return std::pair(running, QString());
        }
        const bool opened = terminal->open(error);
        return std::pair(opened, opened ? terminal->slavePath() : QString());
    });
    if (!path.isEmpty())
        emit serialPathChanged(path);
    return ok;
}

void ConverterEmulator::setLoadResistance(double ohms)
{
    locked([&] { model->setLoadResistance(ohms, clock.elapsed()); });
}

double ConverterEmulator::loadResistance() const
{
    return locked([this] { return model->loadResistance(clock.elapsed()); });
}

void ConverterEmulator::setLoadProfile(const std::optional<LoadProfile> &profile)
{
    locked([&] {
        const qint64 now = clock.elapsed();
        if (profile)
            model->setLoadProfile(profile, now);
        else
            model->setLoadResistance(model->loadResistance(now), now);
    });
}

std::optional<LoadProfile> ConverterEmulator::loadProfile() const
{
    return locked([this] { return model->loadProfile(); });
}

void ConverterEmulator::setInputVoltage(int millivolts)
{
    locked([&] { model->setInputVoltage(millivolts); });
}

void ConverterEmulator::setReferenceVoltage(int millivolts)
{
    locked([&] { model->setReferenceVoltage(millivolts); });
}

void ConverterEmulator::setNoise(bool on)
{
    locked([&] { model->setNoise(on); });
}

void ConverterEmulator::setFineRangeThreshold(int milliamps)
{
    locked([&] { model->setFineRangeThreshold(milliamps); });
}

void ConverterEmulator::setSetpoints(const Setpoints &setpoints)
{
    locked([&] { model->setSetpoints(setpoints, clock.elapsed()); });
}

Setpoints ConverterEmulator::setpoints() const
{
    return locked([this] { return model->setpoints(); });
}

void ConverterEmulator::setOutputOn(bool on)
{
    locked([&] { model->setOutputOn(on, clock.elapsed()); });
}

bool ConverterEmulator::outputOn() const
{
    return locked([this] { return model->outputOn(); });
}

OutputStatus ConverterEmulator::status() const
{
    return locked([this] { return model->status(clock.elapsed()); });
}

AdcReadings ConverterEmulator::adc() const
{
    return locked([this] { return model->adc(clock.elapsed()); });
}

DeliveredEnergy ConverterEmulator::delivered() const
{
    return locked([this] { return model->delivered(clock.elapsed()); });
}

DeliveredEnergy ConverterEmulator::resetDelivered()
{
    return locked([this] { return model->resetDelivered(clock.elapsed()); });
}

void ConverterEmulator::setFixedStatus(std::optional<OutputStatus> status)
{
    locked([&] { model->setFixedStatus(status); });
}

void ConverterEmulator::setFixedAdc(std::optional<AdcReadings> adc)
{
    locked([&] { model->setFixedAdc(adc); });
}

CalibrationBlock ConverterEmulator::calibration() const
{
    return locked([this] { return model->calibration(); });
}

void ConverterEmulator::setCalibration(const CalibrationBlock &block)
{
    locked([&] { model->setCalibration(block); });
}

UserParamBlock ConverterEmulator::userParams() const
{
    return locked([this] { return model->userParams(clock.elapsed()); });
}

void ConverterEmulator::setUserParams(const UserParamBlock &block)
{
    locked([&] { model->setUserParams(block, clock.elapsed()); });
}

void ConverterEmulator::setLifeCounterUnitMs(qint64 ms)
{
    locked([&] { model->setLifeCounterUnitMs(ms); });
}

bool ConverterEmulator::setStateFile(const QString &path, QString *error)
{
    return locked([&] {
        stateFile = path;
        if (path.isEmpty() || !QFile::exists(path))
            return true;
        const qint64 now = clock.elapsed();
        StateFile::State state{model->calibration(), model->userParams(now), model->onTimeMs(now)};
        if (!StateFile::load(path, state, error))
            return false;
        model->setCalibration(state.calibration);
        model->writeUserParams(state.userParams);
        model->setOnTimeMs(state.onTimeMs, now);
        return true;
    });
}

void ConverterEmulator::setFaults(const FaultSettings &faults)
{
    lockedInOwnThread([&] {
        faultSettings = faults;
        silentLeft = qMax(0, faults.silentFirst);
        model->setOvervoltage(faults.overvoltageMv, clock.elapsed());
        terminal->setFlood(faults.flood);
    });
}

FaultSettings ConverterEmulator::faults() const
{
    return locked([this] { return faultSettings; });
}

void ConverterEmulator::clearFaults()
{
    setFaults(FaultSettings());
}

QVector<EmulatorRequest> ConverterEmulator::requests() const
{
    return locked([this] { return log; });
}

void ConverterEmulator::clearRequests()
{
    locked([this] { log.clear(); });
}

qint64 ConverterEmulator::uptimeMs() const
{
    return clock.elapsed();
}

void ConverterEmulator::saveState()
{
    if (stateFile.isEmpty())
        return;
    const qint64 now = clock.elapsed();
    StateFile::save(stateFile,
                    {model->calibration(), model->userParams(now), model->onTimeMs(now)});
}

EmulatorTerminal::Exchange ConverterEmulator::handleFrame(const RequestAssembler::Frame &frame)
{
    EmulatorTerminal::Exchange exchange;
    EmulatorRequest &request = exchange.request;
    request.timeMs = clock.elapsed();
    request.rawFrame = frame.text;
    const std::optional<QByteArray> bytes =
        frame.complete ? SimCodec::fromHex(frame.text.mid(1)) : std::nullopt;
    if (bytes && bytes->size() >= 4) {
        request.parsed = true;
        request.registerCode = quint8(bytes->at(0));
        request.operationCode = quint8(bytes->at(1));
        request.data = bytes->mid(2, bytes->size() - 4);
        request.crcValid = SimCodec::crc16(*bytes) == 0;
    }

    if (request.crcValid && !faultSettings.silent && silentLeft == 0 &&
        faultSettings.flood == FaultSettings::Flood::Off) {
        const std::optional<CommandSet::Answer> answer = CommandSet::answer(
            *model, request.registerCode, request.operationCode, request.data, clock.elapsed(),
            faultSettings.nak ? CommandSet::Writes::Refuse : CommandSet::Writes::Accept);
        if (answer) {
            request.answered = true;
            QByteArray reply = answer->headerAndPayload;
            if (faultSettings.stale)
                std::swap(reply, previousAnswer);
            else
                previousAnswer = reply;
            if (!reply.isEmpty())
                exchange.reply = ReplyShaper::shape(reply, faultSettings);
            if (answer->storedBlockChanged)
                saveState();
        }
    } else if (request.crcValid && silentLeft > 0) {
        --silentLeft;
    }

    if (log.size() >= RequestLogLimit)
        log.removeFirst();
    log.append(request);
    return exchange;
}
