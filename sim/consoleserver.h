#pragma once

#include <QObject>

class ConverterEmulator;
class QTcpServer;
class QTcpSocket;

// The emulator's console on a TCP port of the loopback address, for test programs that cannot
// reach its standard input (a Windows program under Wine): each line is a console command, and
// its answer comes back followed by an empty line.
class ConsoleServer : public QObject
{
    Q_OBJECT

public:
    ConsoleServer(ConverterEmulator &emulator, QObject *parent = nullptr);

    // Port 0 takes any free port; port() tells which.
    bool listen(quint16 port, QString *error);
    quint16 port() const;

signals:
    void quitRequested();

private:
    void accept();
    void serve(QTcpSocket *client);

    ConverterEmulator &emulator;
    QTcpServer *server;
};
