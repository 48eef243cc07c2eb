#pragma once

#include "sim/emulatorrequest.h"
#include "sim/faultsettings.h"
#include "sim/linesettings.h"
#include "sim/replyshaper.h"
#include "sim/requestassembler.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QVector>

#include <functional>
#include <memory>
#include <optional>

class QMutex;
class QSocketNotifier;
class QTimer;
class PseudoTerminal;

// The converter's end of the serial line, a pseudo-terminal master: requests come in at the
// line's pace and are cut into frames, replies go out in timed pieces and reach the far end as
// a USB serial adapter hands them on, a flood of noise replaces them on demand, and nothing
// passes while the far end's line settings do not fit. It shares the emulator's lock, since a
// frame is answered from the model in the same step that reads it: the public functions expect
// the lock held, the notifier and timer slots take it themselves.
class EmulatorTerminal : public QObject
{
    Q_OBJECT

public:
    static constexpr int CharTimeUs = 1087;       // 10 bits at 9200 baud
    static constexpr int AdapterPacketBytes = 62; // a full-speed USB packet less two status bytes

    // What the converter made of one frame off the line, and what it sends back.
    struct Exchange
    {
        EmulatorRequest request;
        QVector<ReplyShaper::Piece> reply;
    };
    // Called with the lock held for every frame, in arrival order.
    using FrameHandler = std::function<Exchange(const RequestAssembler::Frame &frame)>;

    EmulatorTerminal(QMutex &mutex, FrameHandler handler, QObject *parent);
    ~EmulatorTerminal() override;

    bool open(QString *error);
    // Also drops whatever is on its way in either direction.
    void close();
    bool isOpen() const;
    QString slavePath() const;
    void setLinkPath(const QString &path);
    QString linkPath() const;

    void setPaced(bool paced);
    bool paced() const { return pacedLine; }
    void setAdapterLatencyMs(int ms);
    int adapterLatencyMs() const { return int(adapterLatencyUs / 1000); }
    void setLineCheck(bool on);
    bool lineCheck() const { return lineCheckOn; }
    std::optional<LineSettings> clientLineSettings() const;
    void setFlood(FaultSettings::Flood flood);

signals:
    void requestReceived(const EmulatorRequest &request);
    void lineSettingsRefused(const QString &settings);

private:
    struct TxPiece
    {
        QByteArray bytes;
        qint64 notBeforeUs = 0;
    };

    qint64 nowUs() const { return clock.nsecsElapsed() / 1000; }
    void readMaster();
    void writeMaster();
    void serviceLine();
    // The following expect the lock held.
    void writeNoise();
    void takeArrivedBytes(qint64 now, QVector<EmulatorRequest> &received);
    void takeArrivedCharacters(qint64 now);
    void handOverToSerialEnd(qint64 now);
    void scheduleService(qint64 now);
    bool lineFits();

    QMutex &mutex;
    FrameHandler handleFrame;
    QElapsedTimer clock;
    std::unique_ptr<PseudoTerminal> terminal;
    RequestAssembler assembler;
    QSocketNotifier *readNotifier = nullptr;
    QSocketNotifier *writeNotifier = nullptr;
    QTimer *serviceTimer = nullptr;
    bool pacedLine = true;
    bool lineCheckOn = true;
    FaultSettings::Flood floodMode = FaultSettings::Flood::Off;
    QString refusedLine;     // the unfit settings last reported, empty while they fit
    QString refusalToReport; // not yet emitted
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
