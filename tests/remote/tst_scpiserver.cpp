#include "remote/scpiclient.h"
#include "remote/scpiscriptsocket.h"
#include "remote/scpiserver.h"
#include "remote/socketio.h"
#include "scpiscript.h"
#include "tests/support/emulatedsession.h"
#include "tests/support/requestcount.h"
#include "tests/support/wire.h"

#include <QtTest>

#include <memory>

namespace {
constexpr int waitMs = ScpiScript::WaitMs;
} // namespace

// The server and a device session, without a window: what scripts get when something fails,
// and the limits that keep a script from harming the panel.
class ScpiServerTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void withoutAConverter();
    void failedWritesQueueDeviceErrors();
    void aHalfClosedScriptsWritesEndBeforeItsAnswers();
    void clientsCannotHarmThePanel();

private:
    int countFor(quint8 reg, quint8 operation) const
    {
        return CountFor(rig->emulator, reg, operation);
    }

    std::unique_ptr<EmulatedSession> rig;
    std::unique_ptr<ScpiServer> server;
};

void ScpiServerTest::init()
{
    rig = std::make_unique<EmulatedSession>();
    QString error;
    QVERIFY2(rig->Start(&error), qPrintable(error));
    server = std::make_unique<ScpiServer>(&rig->session);
    QVERIFY(server->Apply(RemoteSettings{true, RemoteSettings::Listen::Local, 0, {}}));
}

void ScpiServerTest::cleanup()
{
    server.reset();
    rig.reset();
}

void ScpiServerTest::withoutAConverter()
{
    ScpiScript script(server->Port());
    QVERIFY(script.connected());
    QVERIFY(script.ask("*IDN?").startsWith("VORNEXcontrol,"));
    QCOMPARE(script.ask("MEAS:VOLT?"), QByteArray("9.91E+37"));
    script.send("OUTP ON");
    QCOMPARE(script.ask("*OPC?"), QByteArray("1"));
    QCOMPARE(script.ask("SYST:ERR?"), QByteArray("-230,\"Data corrupt or stale\""));
    QCOMPARE(script.ask("SYST:ERR?"), QByteArray("-241,\"Hardware missing\""));
    QCOMPARE(script.ask("SYST:ERR?"), QByteArray("0,\"No error\""));
    QCOMPARE(rig->emulator.requests().size(), 0);
}

void ScpiServerTest::failedWritesQueueDeviceErrors()
{
    QVERIFY(rig->Open());
    ScpiScript script(server->Port());
    QVERIFY(script.connected());
    QTRY_VERIFY_WITH_TIMEOUT(countFor(Wire::Status, Wire::Read) >= 1, waitMs);
    FaultSettings silent;
    silent.silent = true;
    rig->emulator.setFaults(silent);

    // Four attempts, as for a click, then the error; *OPC? waits for all of them.
    script.send("OUTP ON");
    QCOMPARE(script.ask("*OPC?"), QByteArray("1"));
    QCOMPARE(countFor(Wire::OutputSwitch, Wire::Write), 4);
    QCOMPARE(script.ask("SYST:ERR?"),
             QByteArray("-240,\"Hardware error;no reply from converter\""));

    // "Отключить" while a write is being tried ends it for the script at once.
    script.send("VOLT 5");
    QTRY_VERIFY_WITH_TIMEOUT(countFor(Wire::Setpoints, Wire::Write) >= 1, waitMs);
    rig->session.Close();
    QCOMPARE(script.ask("*OPC?"), QByteArray("1"));
    QCOMPARE(script.ask("SYST:ERR?"), QByteArray("-241,\"Hardware missing\""));
}

// "echo 'VOLT 11.22;*OPC?' | nc -N": the write reaches the converter, and the answers that wait
// for it come before the server closes.
void ScpiServerTest::aHalfClosedScriptsWritesEndBeforeItsAnswers()
{
    QVERIFY(rig->Open());
    ScpiScript script(server->Port());
    QVERIFY(script.connected());
    script.socket.write("VOLT 11.22\n*OPC?\nVOLT?\nSYST:ERR?\n");
    QVERIFY(script.socket.flush());
    SocketIo::EndOutput(script.socket.socketDescriptor());
    QCOMPARE(script.answersToTheEnd(), (QList<QByteArray>{"1", "11.22", "0,\"No error\""}));
    QCOMPARE(rig->emulator.setpoints().voltage, 11220);
    QTRY_COMPARE_WITH_TIMEOUT(server->ClientCount(), 0, waitMs);
}

void ScpiServerTest::clientsCannotHarmThePanel()
{
    QVERIFY(rig->Open());
    std::vector<std::unique_ptr<ScpiScript>> scripts;
    for (int i = 0; i < ScpiServer::MaxClients; ++i) {
        scripts.push_back(std::make_unique<ScpiScript>(server->Port()));
        QVERIFY(scripts.back()->connected());
    }
    QTRY_COMPARE_WITH_TIMEOUT(server->ClientCount(), ScpiServer::MaxClients, waitMs);
    QVERIFY(server->StatusText().endsWith(QStringLiteral("клиентов: 8")));

    // The ninth is closed at once; the eight go on.
    ScpiScript ninth(server->Port());
    QTRY_COMPARE_WITH_TIMEOUT(ninth.socket.state(), QAbstractSocket::UnconnectedState, waitMs);
    QCOMPARE(server->ClientCount(), ScpiServer::MaxClients);

    // A line at the limit is taken, also when its CR LF comes in two pieces; one over it closes
    // its client.
    const QByteArray longest = "*IDN?" + QByteArray(ScpiScriptSocket::MaxLineBytes - 5, ' ');
    scripts[0]->socket.write(longest + '\r');
    const auto serverHolds = [this](qint64 bytes) {
        for (const ScpiScriptSocket *connection : server->findChildren<ScpiScriptSocket *>()) {
            if (connection->BytesHeld() == bytes)
                return true;
        }
        return false;
    };
    QTRY_VERIFY_WITH_TIMEOUT(serverHolds(longest.size() + 1), waitMs);
    QVERIFY(scripts[0]->ask(QByteArray()).startsWith("VORNEXcontrol,"));
    scripts[0]->socket.write(QByteArray(ScpiScriptSocket::MaxLineBytes + 2, 'A'));
    QTRY_COMPARE_WITH_TIMEOUT(scripts[0]->socket.state(), QAbstractSocket::UnconnectedState,
                              waitMs);
    QTRY_COMPARE_WITH_TIMEOUT(server->ClientCount(), ScpiServer::MaxClients - 1, waitMs);

    // A client that sends queries and never reads the answers: the server stops reading it
    // once its answers pile up, while the poll cycle and the other clients go on.
    // More than the system's socket buffers on both ends take.
    scripts[1]->socket.setReadBufferSize(1024);
    scripts[1]->socket.write(QByteArray("*IDN?\n").repeated(2000000));
    QVERIFY(rig->WaitTicks(8, waitMs));
    QVERIFY(scripts[2]->ask("*IDN?").startsWith("VORNEXcontrol,"));
    QVERIFY2(scripts[1]->socket.bytesToWrite() > 0, "the flood was read to its end");
    qint64 largestBacklog = 0;
    for (const ScpiScriptSocket *connection : server->findChildren<ScpiScriptSocket *>())
        largestBacklog = std::max(largestBacklog, connection->BytesToWrite());
    QVERIFY2(largestBacklog <= 2 * ScpiClient::MaxPendingOutput,
             qPrintable(QString::number(largestBacklog)));
}

QTEST_MAIN(ScpiServerTest)
#include "tst_scpiserver.moc"
