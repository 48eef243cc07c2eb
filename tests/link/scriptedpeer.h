#pragma once

#include "sim/pseudoterminal.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QQueue>
#include <QVector>

class QSocketNotifier;

// A byte-exact stand-in for the converter on a pseudo-terminal, run on the test's own event
// loop: it records every request and answers each with the next scripted reply, piece by
// piece at the given delays, or stays silent for it.
class ScriptedPeer : public QObject
{
    Q_OBJECT

public:
    struct Piece
    {
        int delayMs = 0; // after the request, or after the previous piece
        QByteArray bytes;
    };
    using Reply = QVector<Piece>; // empty: stay silent for that request

    ScriptedPeer();
    ~ScriptedPeer() override;

    bool start();
    QString serialPath() const { return terminal.slavePath(); }
    // The device vanishes: the master closes and readers of the serial end get an error.
    void hangUp();

    void queueReply(const Reply &reply) { script.enqueue(reply); }
    void queueReply(const QByteArray &text) { script.enqueue(Reply{Piece{0, text}}); }
    void queueSilence() { script.enqueue(Reply{}); }
    // Writes straight to the line, outside any script.
    void send(const QByteArray &bytes);

    QVector<QByteArray> requests() const { return frames; } // each up to and including its CR
    QVector<qint64> requestTimesMs() const { return frameTimes; }
    QByteArray receivedBytes() const { return received; }
    QElapsedTimer clock;

private:
    void readMaster();
    void playPiece(Reply reply, int index);

    PseudoTerminal terminal;
    QSocketNotifier *notifier = nullptr;
    QQueue<Reply> script;
    QByteArray received;
    QByteArray pending;
    QVector<QByteArray> frames;
    QVector<qint64> frameTimes;
};
