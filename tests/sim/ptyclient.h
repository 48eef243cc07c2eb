#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

// The panel's side of the emulator's pseudo-terminal, opened with plain POSIX calls and set to
// 9200 baud 8N1. Its waits run the event loop, so an emulator living in the same thread gets
// served meanwhile.
class PtyClient
{
public:
    PtyClient() = default;
    ~PtyClient();
    PtyClient(const PtyClient &) = delete;
    PtyClient &operator=(const PtyClient &) = delete;

    bool open(const QString &path);
    void close();
    void send(const QByteArray &bytes);
    // Everything up to and including the first CR; what came so far if none came in time.
    QByteArray readLine(int timeoutMs = 2000);
    // Everything that came until there were at least `count` bytes, or the time was up.
    QByteArray readAtLeast(int count, int timeoutMs = 2000);
    // The chunks the last read saw arriving, in order.
    QVector<QByteArray> chunks() const { return seen; }
    // True once reading reported the far end gone.
    bool hungUp() const { return gone; }
    // Waits until the far end is gone or the time is up.
    bool waitForHangUp(int timeoutMs = 2000);

private:
    // Reads into the buffer until done() holds or timeoutMs passes.
    template <typename Done> void wait(int timeoutMs, Done done);
    void drain();

    int fd = -1;
    QByteArray buffer;
    QVector<QByteArray> seen;
    bool gone = false;
};
