#pragma once

#include "remote/nextturncall.h"
#include "remote/scpilinebuffer.h"

#include <QByteArray>
#include <QObject>

class QSocketNotifier;
class QTimer;

// One script's TCP connection, on the accepted socket itself rather than a QTcpSocket: Qt closes
// a socket both ways as soon as its peer ends its input, and a script that sends its queries and
// then half-closes must still get every answer. Input is read only while the line buffer has
// room, so a script that does not take its answers waits in its own buffers; reading resumes as
// soon as lines are taken.
class ScpiScriptSocket : public QObject
{
    Q_OBJECT

public:
    static constexpr int MaxLineBytes = 4096;
    // Room for a whole line of the longest kind and the start of the next.
    static constexpr int InputCapacity = 4 * MaxLineBytes;

    // Takes an accepted socket over; it must not block.
    explicit ScpiScriptSocket(qintptr socket, QObject *parent = nullptr);
    ~ScpiScriptSocket() override;

    ScpiLineBuffer::Take TakeLine(QByteArray &line);
    // Input received and not yet taken.
    int BytesHeld() const;
    void Write(const QByteArray &bytes);
    // Written and not yet taken by the system.
    qint64 BytesToWrite() const;
    // Sends what waits, then closes.
    void Finish();
    // Closes at once; what waits is dropped.
    void Abort();

signals:
    // A line may be ready, or the input has ended.
    void readyRead();
    // Some of what waits has been sent.
    void bytesWritten();
    // The connection is closed: finished, aborted or broken. Emitted once.
    void closed();

private:
    bool IsOpen() const;
    void Fill();
    void Flush();
    void Close();
    void Release();

    qintptr socket;
    ScpiLineBuffer input{MaxLineBytes, InputCapacity};
    QByteArray output;
    // Where the bytes not yet sent start.
    qint64 sent = 0;
    QSocketNotifier *readable = nullptr;
    QSocketNotifier *writable = nullptr;
    QTimer *resend = nullptr;
    NextTurnCall nextFill;
    NextTurnCall nextFlush;
    bool finishing = false;
};
