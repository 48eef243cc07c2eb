#pragma once

#include "cli/remoteaddress.h"

#include <QByteArray>
#include <QString>
#include <QTcpSocket>

#include <optional>

class QIODevice;

// A client of a panel's SCPI server, one line at a time. vornexctl does one thing after
// another, so each step blocks, but never longer than TimeoutMs: for the connection, and for
// each answer.
class ScpiConnection
{
public:
    static constexpr int TimeoutMs = 3000;

    explicit ScpiConnection(const RemoteAddress &address);
    ~ScpiConnection();
    ScpiConnection(const ScpiConnection &) = delete;
    ScpiConnection &operator=(const ScpiConnection &) = delete;

    // Where the lines sent and received are traced ("> " and "< " in front); nullptr: nowhere.
    void SetTrace(QIODevice *device) { trace = device; }

    bool Connect();
    // A command without an answer. It is on its way once the next query has been answered.
    void Send(const QByteArray &command);
    // The answer's line without its line end; nothing when none came (Problem() says why).
    std::optional<QByteArray> Ask(const QByteArray &query);
    // The next answer's line, to a query sent before.
    std::optional<QByteArray> NextAnswer();

    // Why the connection or the last answer failed, in the user's words.
    QString Problem() const { return problem; }

private:
    void Trace(const char *direction, const QByteArray &line);
    QString SocketProblem() const;

    RemoteAddress address;
    QTcpSocket socket;
    QIODevice *trace = nullptr;
    QString problem;
};
