#pragma once

#include "link/devicerecords.h"
#include "sim/emulatorrequest.h"
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

class QSocketNotifier;
class QTimer;
class ConverterModel;
class RequestAssembler;
class PseudoTerminal;

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
    static constexpr int CharTimeUs = 1087;       // 10 bits at 9200 baud
    static constexpr int RequestLogLimit = 10000; // oldest entries go first
    static constexpr int AdapterPacketBytes = 62; // a full-speed USB packet less two status bytes

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
    struct TxPiece
    {
        QByteArray bytes;
        qint64 notBeforeUs = 0;
    };

    // Runs f on the emulator's own thread, waiting for it when called from another one.
    template <typename F> void inOwnThread(F f);
    qint64 nowUs() const { return clock.nsecsElapsed() / 1000; }
    void readMaster();
    void writeMaster();
    void writeNoise();
    void serviceLine();
    // The following expect the mutex held.
    void takeArrivedBytes(qint64 now, QVector<EmulatorRequest> &received);
    void handleFrame(const QByteArray &text, bool complete, QVector<EmulatorRequest> &received);
    void sendDuePieces(qint64 now);
    void takeArrivedCharacters(qint64 now);
    void handOverToSerialEnd(qint64 now);
    void scheduleService(qint64 now);
    bool openTerminal(QString *error);
    void closeTerminal();
    void saveState();
    void disappear(int returnAfterMs);
    bool lineFits();
    void emitQueued(const QVector<EmulatorRequest> &received, const QString &refusal);

    mutable QMutex mutex;
    QElapsedTimer clock;
    std::unique_ptr<PseudoTerminal> terminal;
    std::unique_ptr<ConverterModel> model;
    std::unique_ptr<RequestAssembler> assembler;
    QSocketNotifier *readNotifier = nullptr;
    QSocketNotifier *writeNotifier = nullptr;
    QTimer *serviceTimer = nullptr;
    QTimer *returnTimer = nullptr;
    bool running = false;
    bool pacedLine = true;
    bool lineCheckOn = true;
    QString refusedLine;     // the unfit settings last reported, empty while they fit
    QString refusalToReport; // not yet emitted
    QString stateFile;
    FaultSettings faultSettings;
    int silentLeft = 0;
    // The last answer given, kept for the stale-reply fault.
    QByteArray previousAnswer;
    QVector<EmulatorRequest> log;
    // Bytes read from the master that have not yet arrived at line pace; the first of them
    // started on the line at rxStartUs.
    QByteArray rxQueue;
    qint64 rxStartUs = 0;
    QVector<TxPiece> txQueue;
    qint64 txFreeUs = 0; // when the line is free for the next outgoing character
    qint64 adapterLatencyUs = 0;
    // Characters that have come off the line but are not yet written to the serial end; the
    // first of them arrived at arrivedFirstUs.
    QByteArray arrived;
    qint64 arrivedFirstUs = 0;
};
