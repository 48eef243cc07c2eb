#include "remote/scpiclient.h"
#include "remote/scpiscriptsocket.h"
#include "remote/scpiserver.h"
#include "remote/socketio.h"
#include "scpiscript.h"
#include "session/devicesession.h"

#include <QtTest>

#include <memory>
#include <vector>

namespace {

constexpr int waitMs = ScpiScript::WaitMs;
// Draining a stalled script's answers takes longest under the sanitizers and Wine.
constexpr int drainMs = 120000;
const QByteArray identity = "VORNEXcontrol,";

} // namespace

// The server's connections on real sockets, with no converter connected (as before
// "Подключить"): a script that stops reading its answers, one that half-closes, and the slots
// they hold.
class ScpiScriptSocketTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void aStalledReaderGetsEveryAnswerOnceItReads();
    void aStalledReaderThatLeavesFreesItsSlot();
    void aHalfCloseIsAnsweredBeforeTheServerCloses_data();
    void aHalfCloseIsAnsweredBeforeTheServerCloses();

private:
    bool ServerStoppedReading() const;
    int Stall(ScpiScript &script);

    std::unique_ptr<DeviceSession> session;
    std::unique_ptr<ScpiServer> server;
};

void ScpiScriptSocketTest::init()
{
    session = std::make_unique<DeviceSession>();
    server = std::make_unique<ScpiServer>(session.get());
    QVERIFY(server->Apply(RemoteSettings{true, RemoteSettings::Listen::Local, 0, {}}));
}

void ScpiScriptSocketTest::cleanup()
{
    server.reset();
    session.reset();
}

// Its answers wait beyond the limit and its input is full: the server reads no more of it.
bool ScpiScriptSocketTest::ServerStoppedReading() const
{
    for (const ScpiScriptSocket *connection : server->findChildren<ScpiScriptSocket *>()) {
        if (connection->BytesHeld() == ScpiScriptSocket::InputCapacity &&
            connection->BytesToWrite() > ScpiClient::MaxPendingOutput)
            return true;
    }
    return false;
}

// Sends queries and takes no answer until the server has stopped reading the script, however
// much the system's buffers hold. Returns how many were sent, or 0 when it never stopped.
int ScpiScriptSocketTest::Stall(ScpiScript &script)
{
    constexpr int linesPerBatch = 20000;
    const QByteArray batch = QByteArray("*IDN?\n").repeated(linesPerBatch);
    script.socket.setReadBufferSize(1024);
    int sent = 0;
    for (int i = 0; i < 100 && !ServerStoppedReading(); ++i) {
        script.socket.write(batch);
        sent += linesPerBatch;
        if (!TurnUntil([&] { return ServerStoppedReading() || script.socket.bytesToWrite() == 0; },
                       waitMs))
            break;
    }
    return ServerStoppedReading() ? sent : 0;
}

void ScpiScriptSocketTest::aStalledReaderGetsEveryAnswerOnceItReads()
{
    ScpiScript script(server->Port());
    QVERIFY(script.connected());
    const int sent = Stall(script);
    QVERIFY(sent > 0);

    script.socket.setReadBufferSize(0);
    int answered = 0;
    int wrong = 0;
    const bool drained = TurnUntil(
        [&] {
            while (script.socket.canReadLine())
                ++(script.socket.readLine().startsWith(identity) ? answered : wrong);
            return answered + wrong >= sent;
        },
        drainMs);
    QVERIFY2(drained, qPrintable(QStringLiteral("%1 of %2 answered").arg(answered).arg(sent)));
    QCOMPARE(wrong, 0);
    QCOMPARE(answered, sent);
    QVERIFY(script.ask("*IDN?").startsWith(identity));

    script.socket.disconnectFromHost();
    QTRY_COMPARE_WITH_TIMEOUT(server->ClientCount(), 0, waitMs);
}

void ScpiScriptSocketTest::aStalledReaderThatLeavesFreesItsSlot()
{
    auto stalled = std::make_unique<ScpiScript>(server->Port());
    QVERIFY(stalled->connected());
    QVERIFY(Stall(*stalled) > 0);
    // With answers unread, the system resets the connection rather than closing it.
    stalled->socket.abort();
    QTRY_COMPARE_WITH_TIMEOUT(server->ClientCount(), 0, waitMs);

    std::vector<std::unique_ptr<ScpiScript>> scripts;
    for (int i = 0; i < ScpiServer::MaxClients; ++i) {
        scripts.push_back(std::make_unique<ScpiScript>(server->Port()));
        QVERIFY(scripts.back()->connected());
    }
    for (const auto &script : scripts)
        QVERIFY(script->ask("*IDN?").startsWith(identity));
}

void ScpiScriptSocketTest::aHalfCloseIsAnsweredBeforeTheServerCloses_data()
{
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QList<QByteArray>>("answers");
    QTest::newRow("one query") << QByteArray("*IDN?\n") << QList<QByteArray>{"identity"};
    QTest::newRow("several, with a write")
        << QByteArray("*IDN?\nOUTP ON\n*OPC?\nSYST:ERR?\n")
        << QList<QByteArray>{"identity", "1", "-241,\"Hardware missing\""};
    QTest::newRow("CR LF and a blank line")
        << QByteArray("*OPC?\r\n\r\n*IDN?\r\n") << QList<QByteArray>{"1", "identity"};
    QTest::newRow("the last line without its LF")
        << QByteArray("*IDN?\nSYST:ERR?") << QList<QByteArray>{"identity", "0,\"No error\""};
    QTest::newRow("nothing") << QByteArray() << QList<QByteArray>{};
}

void ScpiScriptSocketTest::aHalfCloseIsAnsweredBeforeTheServerCloses()
{
    QFETCH(QByteArray, sent);
    QFETCH(QList<QByteArray>, answers);
    ScpiScript script(server->Port());
    QVERIFY(script.connected());
    script.socket.write(sent);
    QVERIFY(script.socket.flush() || sent.isEmpty());
    QCOMPARE(script.socket.bytesToWrite(), 0);
    SocketIo::EndOutput(script.socket.socketDescriptor());

    QList<QByteArray> received = script.answersToTheEnd();
    for (QByteArray &answer : received) {
        if (answer.startsWith(identity))
            answer = "identity";
    }
    QCOMPARE(received, answers);
    QCOMPARE(script.socket.state(), QAbstractSocket::UnconnectedState);
    QTRY_COMPARE_WITH_TIMEOUT(server->ClientCount(), 0, waitMs);
}

QTEST_MAIN(ScpiScriptSocketTest)
#include "tst_scpiscriptsocket.moc"
