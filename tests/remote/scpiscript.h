#pragma once

#include <QDeadlineTimer>
#include <QTcpSocket>
#include <QTimer>
#include <QtTest>

// Turns the event loop until the condition holds; false when `ms` passed first. Unlike
// QTest::qWaitFor it takes no nap between passes: the server runs in this thread and takes one
// turn per pass, so a script that sends a million lines is not held to a hundred passes a
// second.
template <typename Condition> bool TurnUntil(Condition condition, int ms)
{
    const QDeadlineTimer deadline(ms);
    // A pass that waits for events ends at least this often, to look at the deadline.
    QTimer wake;
    wake.start(50);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
}

// A script's end of a connection to the server, line by line. The server runs in the test's
// thread, so every wait turns the event loop.
class ScpiScript
{
public:
    static constexpr int WaitMs = 10000;

    explicit ScpiScript(quint16 port) { socket.connectToHost(QHostAddress::LocalHost, port); }

    bool connected()
    {
        return QTest::qWaitFor([this] { return socket.state() == QAbstractSocket::ConnectedState; },
                               WaitMs);
    }
    void send(const QByteArray &line) { socket.write(line + '\n'); }
    QByteArray ask(const QByteArray &line)
    {
        send(line);
        return answer();
    }
    QByteArray answer()
    {
        if (!QTest::qWaitFor([this] { return socket.canReadLine(); }, WaitMs))
            return "(no answer)";
        return socket.readLine().trimmed();
    }
    // Every answer up to the server's close; the last is "(still open)" if it never closed.
    QList<QByteArray> answersToTheEnd()
    {
        const bool closed = QTest::qWaitFor(
            [this] { return socket.state() == QAbstractSocket::UnconnectedState; }, WaitMs);
        QList<QByteArray> answers;
        while (socket.canReadLine())
            answers << socket.readLine().trimmed();
        if (!closed)
            answers << "(still open)";
        return answers;
    }

    QTcpSocket socket;
};
