#pragma once

#include "session/portmatch.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

class PortChangeWatch;
class QSerialPort;

// Finds a port that went away again: which name to try, and when. The first attempt comes a
// second after the loss, as an adapter needs that long to come back, and the next a second
// after each failed one. An adapter with a serial number is followed by it under whatever name
// it returns; the ports are listed again only when its folder has changed.
class PortRecovery : public QObject
{
    Q_OBJECT

public:
    static constexpr int ReopenIntervalMs = 1000;

    explicit PortRecovery(QObject *parent = nullptr);

    // The port just opened under `name`: what to look for should it go.
    void Remember(const QSerialPort &port, const QString &name);
    void Begin();
    void End();
    // The name to try to open now; empty: none, or not yet time.
    QString NameToTry();

private:
    QString ReturnedName();

    PortIdentity openedPort;
    QString openedFolder;
    QElapsedTimer sinceAttempt;
    PortChangeWatch *returnWatch = nullptr;
    bool portsMayHaveChanged = false;
};
