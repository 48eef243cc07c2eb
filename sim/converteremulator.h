#pragma once

#include "link/devicerecords.h"
#include "sim/deliveredenergy.h"
#include "sim/emulatorrequest.h"
#include "sim/emulatorterminal.h"
#include "sim/faultsettings.h"
#include "sim/linesettings.h"
#include "sim/loadprofile.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QVector>

#include <memory>
#include <optional>

class QTimer;
class ConverterModel;

// A VORNEX converter on a pseudo-terminal. It answers the panel's requests from an electrical
// model and can misbehave on demand. It runs on the event loop of the thread it lives in; the
// setters and the request log may be used from any thread, and start(), stop(), hangUp(),
// hangUpFor() and comeBack() hop to the emulator's thread when called from elsewhere.
class ConverterEmulator : public QObject
{
    Q_OBJECT

public:
    static constexpr quint8 ReadOperation = 0x01;
    static constexpr quint8 WriteOperation = 0x11;
    static constexpr quint8 AckCode = 0x1F;
    static constexpr quint8 NakCode = 0x15;
    static constexpr quint16 OutputOnWord = 7066;
    static constexpr int CharTimeUs = EmulatorTerminal::CharTimeUs;
    static constexpr int RequestLogLimit = 10000; // oldest entries go first
    static constexpr int AdapterPacketBytes = EmulatorTerminal::AdapterPacketBytes;

    explicit ConverterEmulator(QObject *parent = nullptr);
    ~ConverterEmulator() override;

    // Opens the pseudo-terminal; false (with a reason) when it cannot.
    bool start(QString *error = nullptr);
    void stop();
    bool isRunning() const;
    // Slave end to open as the serial port, e.g. /dev/pts/7; empty while hung up or stopped.
    QString serialPath() const;
    // A symbolic link kept pointing at the serial end (removed on hang-up and stop).
    void setLinkPath(const QString &path);
    QString linkPath() const;
    // Characters leave and arrive at 9200 baud 8N1; on by default.
    void setPaced(bool paced);
    bool paced() const;
    // Hands the characters that have arrived to the PC in batches, as a USB serial adapter
    // does: once the oldest has waited this long or a packet is full (FTDI chips wait 16 ms by
    // default). 0, the default: each character as soon as it has arrived.
    void setAdapterLatencyMs(int ms);
    int adapterLatencyMs() const;
    // On by default: what arrives while the far end of the serial line is set to anything but
    // 9200 baud 8N1 is noise the converter cannot make out, and nothing is sent back to it
    // then, as a device at the right speed would look to a program at the wrong one.
    void setLineCheck(bool on);
    bool lineCheck() const;
    // What the far end has set now; nothing while hung up or stopped.
    std::optional<LineSettings> clientLineSettings() const;

    // The device disappears (its serial end closes) and comes back on a new pty, same link.
    void hangUp();
    bool comeBack(QString *error = nullptr);
    // Hangs up and comes back by itself after ms. hangUp(), comeBack() and stop() cancel the
    // return; a second call sets it anew.
    void hangUpFor(int ms);

    // Electrical model.
    void setLoadResistance(double ohms); // 0, negative or infinite: open circuit; ends a profile
    double loadResistance() const;       // now, under a profile too
    // Varies the load from now on; std::nullopt ends a profile, keeping the load it reached.
    void setLoadProfile(const std::optional<LoadProfile> &profile);
    std::optional<LoadProfile> loadProfile() const;
    void setInputVoltage(int millivolts);
    void setReferenceVoltage(int millivolts);
    void setNoise(bool on);
    void setFineRangeThreshold(int milliamps); // fine range below this output current
    void setSetpoints(const Setpoints &setpoints);
    Setpoints setpoints() const;
    void setOutputOn(bool on);
    bool outputOn() const;
    OutputStatus status() const; // what a status read would answer now
    AdcReadings adc() const;     // what an ADC read would answer now
    // Charge and energy delivered to the load since the last reset (ConverterModel::delivered);
    // the reset returns the counts until then.
    DeliveredEnergy delivered() const;
    DeliveredEnergy resetDelivered();
    void setFixedStatus(std::optional<OutputStatus> status);
    void setFixedAdc(std::optional<AdcReadings> adc);

    // Stored blocks. setUserParams() also sets the life counter; writes over the line do not.
    CalibrationBlock calibration() const;
    void setCalibration(const CalibrationBlock &block);
    UserParamBlock userParams() const;
    void setUserParams(const UserParamBlock &block);
    // Output-on time that makes one life counter step; one hour unless changed.
    void setLifeCounterUnitMs(qint64 ms);
    // Keeps the blocks and the life counter in a file: loads it now if it exists, saves after
    // every block write over the line and at stop().
    bool setStateFile(const QString &path, QString *error = nullptr);

    void setFaults(const FaultSettings &faults);
    FaultSettings faults() const;
    void clearFaults();

    QVector<EmulatorRequest> requests() const;
    void clearRequests();
    qint64 uptimeMs() const;

signals:
    void requestReceived(const EmulatorRequest &request);
    // New serial end after start() or comeBack(); empty after hangUp() or stop().
    void serialPathChanged(const QString &path);
    // Characters were dropped because the far end's line settings (as text) do not fit; once
    // for each change of them.
    void lineSettingsRefused(const QString &settings);

private:
    // Runs f with the mutex held and returns what it returns.
    template <typename F> auto locked(F f) const;
    // The same on the emulator's own thread, waiting for it when called from another one.
    template <typename F> auto lockedInOwnThread(F f);
    // The following expect the mutex held.
    EmulatorTerminal::Exchange handleFrame(const RequestAssembler::Frame &frame);
    void saveState();
    void disappear(int returnAfterMs);

    mutable QMutex mutex;
    QElapsedTimer clock;
    std::unique_ptr<ConverterModel> model;
    EmulatorTerminal *terminal = nullptr; // a child, so that moveToThread() takes it along
    QTimer *returnTimer = nullptr;
    bool running = false;
    QString stateFile;
    FaultSettings faultSettings;
    int silentLeft = 0;
    // The last answer given, kept for the stale-reply fault.
    QByteArray previousAnswer;
    QVector<EmulatorRequest> log;
};
