#include "guard/deviceguard.h"
#include "remote/scpiclient.h"
#include "remote/scpiscriptsocket.h"
#include "remote/scpiserver.h"
#include "remote/socketio.h"
#include "scpiscript.h"
#include "tests/support/emulatedsession.h"
#include "tests/support/requestcount.h"
#include "tests/support/wire.h"

#include <QSettings>
#include <QtTest>

#include <memory>

namespace {
constexpr int waitMs = ScpiScript::WaitMs;

// A guard on the rig's session, with its store and folder in the rig's temporary folder and a
// clock the test moves, and a server that has it.
struct GuardedServer
{
    explicit GuardedServer(EmulatedSession &rig)
        : store(rig.dir.filePath("store.ini"), QSettings::IniFormat),
          guard(&rig.session, &store, rig.dir.filePath("guard"), nullptr, [this] { return now; }),
          server(&rig.session, &guard)
    {
    }
    bool Listen() { return server.Apply(RemoteSettings{true, RemoteSettings::Listen::Local, 0, {}}); }

    qint64 now = 0;
    QSettings store;
    DeviceGuard guard;
    ScpiServer server;
};

// Everything in a script's error queue, oldest first, up to "No error".
QList<QByteArray> ErrorsOf(ScpiScript &script)
{
    QList<QByteArray> errors;
    for (int i = 0; i <= ScpiErrorQueue::Capacity; ++i) {
        const QByteArray error = script.ask("SYST:ERR?");
        if (error == "0,\"No error\"")
            break;
        errors << error;
    }
    return errors;
}
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
    void withoutAGuard();
    void protectionSettingsAreTheGuards();
    void aTripIsToldToEveryScript();

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

// A server made without a guard (as in vornexctl's tests) says so for the guard's commands.
void ScpiServerTest::withoutAGuard()
{
    ScpiScript script(server->Port());
    QVERIFY(script.connected());
    QCOMPARE(script.ask("FETC:CHAR?"), QByteArray("9.91E+37"));
    script.send("VOLT:PROT 5;OUTP:PROT:CLE");
    QCOMPARE(script.ask("VOLT:PROT:TRIP?;STAT:QUES:COND?"), QByteArray("0"));
    QCOMPARE(script.answer(), QByteArray("0"));
    const QByteArray none = "-200,\"Execution error;counters and protections not available\"";
    QCOMPARE(ErrorsOf(script), (QList<QByteArray>{none, none, none}));
}

// Writes change the guard's settings and its store, with no converter connected; the levels'
// limits are what the store keeps after a restart; a cap refuses a setpoint above it.
void ScpiServerTest::protectionSettingsAreTheGuards()
{
    GuardedServer guarded(*rig);
    QVERIFY(guarded.Listen());
    ScpiScript script(guarded.server.Port());
    QVERIFY(script.connected());

    // Nothing set yet: the level is 0 and the trip cannot be switched on.
    QCOMPARE(script.ask("VOLT:PROT?"), QByteArray("0.00"));
    QCOMPARE(script.ask("VOLT:PROT:STAT?"), QByteArray("0"));
    QCOMPARE(script.ask("VOLT:PROT:DEL?"), QByteArray("0.500"));
    script.send("VOLT:PROT:STAT ON");
    QCOMPARE(ErrorsOf(script),
             (QList<QByteArray>{"-221,\"Settings conflict;no protection level set\""}));
    QCOMPARE(guarded.guard.Settings().voltage.enabled, false);

    script.send("VOLT:PROT:LEV 12.5;STAT ON;DEL 0");
    script.send("CURR:PROT 1.25 A;CURR:PROT:DEL 250 ms;CURR:PROT:STAT 1");
    script.send("POW:PROT 20");
    QCOMPARE(script.ask("*OPC?"), QByteArray("1"));
    const ProtectionSettings &settings = guarded.guard.Settings();
    QCOMPARE(settings.voltage, (TripLimit{true, 12.5, 0}));
    QCOMPARE(settings.current, (TripLimit{true, 1.25, 0.25}));
    QCOMPARE(settings.power, (TripLimit{false, 20, 0.5}));
    QVERIFY(LoadProtectionSettings(guarded.store) == settings);
    QCOMPARE(script.ask("VOLT:PROT?;PROT:STAT?;DEL?"), QByteArray("12.50"));
    QCOMPARE(script.answer(), QByteArray("1"));
    QCOMPARE(script.answer(), QByteArray("0.000"));
    QCOMPARE(script.ask("CURR:PROT?"), QByteArray("1.250"));
    QCOMPARE(script.ask("CURR:PROT:DEL?"), QByteArray("0.250"));
    QCOMPARE(script.ask("POW:PROT?"), QByteArray("20.00"));
    QCOMPARE(script.ask("POW:PROT:STAT?"), QByteArray("0"));

    // MIN and MAX, as queries and as values; the largest are kept by the store.
    QCOMPARE(script.ask("VOLT:PROT? MIN"), QByteArray("0.01"));
    QCOMPARE(script.ask("VOLT:PROT? MAX"), QByteArray("60.00"));
    QCOMPARE(script.ask("CURR:PROT? MIN"), QByteArray("0.001"));
    QCOMPARE(script.ask("CURR:PROT? MAX"), QByteArray("19.998"));
    QCOMPARE(script.ask("POW:PROT? MIN"), QByteArray("0.01"));
    QCOMPARE(script.ask("POW:PROT? MAX"), QByteArray("1199.88"));
    QCOMPARE(script.ask("POW:PROT:DEL? MIN"), QByteArray("0.000"));
    QCOMPARE(script.ask("POW:PROT:DEL? MAX"), QByteArray("3600.000"));
    script.send("VOLT:PROT MAX;CURR:PROT MAX;POW:PROT MAX;POW:PROT:STAT ON;POW:PROT:DEL MAX");
    QCOMPARE(script.ask("*OPC?"), QByteArray("1"));
    const ProtectionSettings loaded = LoadProtectionSettings(guarded.store);
    QVERIFY(loaded == guarded.guard.Settings());
    QCOMPARE(loaded.power, (TripLimit{true, 1199.88, 3600}));
    QCOMPARE(loaded.voltage.level, 60.0);
    QCOMPARE(loaded.current.level, 19.998);
    script.send("VOLT:PROT MIN;CURR:PROT MIN;POW:PROT MIN");
    QCOMPARE(script.ask("*OPC?"), QByteArray("1"));
    QVERIFY(LoadProtectionSettings(guarded.store) == guarded.guard.Settings());
    script.send("VOLT:PROT 61;POW:PROT:DEL 3601;CURR:PROT 0");
    QCOMPARE(ErrorsOf(script), QVector<QByteArray>(3, "-222,\"Data out of range\"").toList());
    QVERIFY(LoadProtectionSettings(guarded.store) == guarded.guard.Settings());

    // The caps, with a converter: a setpoint above refused with the cap said, and nothing sent.
    ProtectionSettings capped = guarded.guard.Settings();
    capped.voltage.enabled = capped.current.enabled = capped.power.enabled = false;
    capped.voltageCap = 12.0;
    capped.currentCap = 1.5;
    guarded.guard.SetSettings(capped);
    QVERIFY(rig->Open());
    QTRY_VERIFY_WITH_TIMEOUT(rig->session.KnownSetpoints().has_value(), waitMs);
    const int writes = countFor(Wire::Setpoints, Wire::Write);
    script.send("VOLT 12.01;CURR 1.501;VOLT MAX");
    QCOMPARE(script.ask("*OPC?"), QByteArray("1"));
    QCOMPARE(ErrorsOf(script), (QList<QByteArray>{"-222,\"Data out of range;cap 12.00 V\"",
                                                  "-222,\"Data out of range;cap 1.500 A\"",
                                                  "-222,\"Data out of range;cap 12.00 V\""}));
    QCOMPARE(countFor(Wire::Setpoints, Wire::Write), writes);
    script.send("VOLT 12;CURR 1.5");
    QCOMPARE(script.ask("*OPC?"), QByteArray("1"));
    QCOMPARE(ErrorsOf(script), QList<QByteArray>());
    QCOMPARE(rig->emulator.setpoints().voltage, 12000);
    QCOMPARE(rig->emulator.setpoints().current, 1500);
}

// A trip: every script is told once, first; the writes it cancels each end in -200, and *OPC?
// after them answers; OUTP ON is refused until the trip is cleared; the questionable bits.
void ScpiServerTest::aTripIsToldToEveryScript()
{
    GuardedServer guarded(*rig);
    QVERIFY(guarded.Listen());
    rig->emulator.setLoadResistance(22);
    QVERIFY(rig->Open());
    std::vector<std::unique_ptr<ScpiScript>> scripts;
    for (int i = 0; i < 4; ++i) {
        scripts.push_back(std::make_unique<ScpiScript>(guarded.server.Port()));
        QVERIFY(scripts.back()->connected());
    }
    ScpiScript &first = *scripts[0];
    first.send("VOLT 12;CURR 1;OUTP ON");
    QCOMPARE(first.ask("*OPC?"), QByteArray("1"));
    QTRY_VERIFY_WITH_TIMEOUT(first.ask("MEAS:VOLT?").toDouble() > 11.9, waitMs);
    // Beyond its level, but with the clock standing the delay never passes.
    first.send("VOLT:PROT 10;VOLT:PROT:DEL 1;VOLT:PROT:STAT ON");
    QCOMPARE(first.ask("*OPC?"), QByteArray("1"));
    QVERIFY(rig->WaitTicks(4));
    QCOMPARE(first.ask("VOLT:PROT:TRIP?;STAT:QUES:COND?"), QByteArray("0"));
    QCOMPARE(first.answer(), QByteArray("0"));

    // Three scripts' writes wait in the session's queue (each script's *IDN? is answered in the
    // same turn as its write is given), then the delay passes: the next status read trips. At
    // most one of them can run before it, since two poll reads follow every script command.
    const int writes = countFor(Wire::Setpoints, Wire::Write);
    for (int i = 0; i < 3; ++i)
        QVERIFY(scripts[i]->ask("*IDN?;CURR 1.2;*OPC?").startsWith("VORNEXcontrol,"));
    guarded.now = 5000;
    QTRY_VERIFY_WITH_TIMEOUT(guarded.guard.Tripped(), waitMs);
    int cancelled = 0;
    const QByteArray told = "-300,\"Device-specific error;OVP tripped: 12.00 V > 10.00 V\"";
    const QByteArray refusedWrite = "-200,\"Execution error;output protection tripped\"";
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(scripts[i]->answer(), QByteArray("1"));
        const QList<QByteArray> errors = ErrorsOf(*scripts[i]);
        if (errors == QList<QByteArray>{told, refusedWrite})
            ++cancelled;
        else
            QCOMPARE(errors, QList<QByteArray>{told});
    }
    QVERIFY2(cancelled >= 1, "no write was waiting at the trip");
    QCOMPARE(countFor(Wire::Setpoints, Wire::Write), writes + 3 - cancelled);
    // One that gave no command is told too.
    QCOMPARE(ErrorsOf(*scripts[3]), QList<QByteArray>{told});
    QTRY_VERIFY_WITH_TIMEOUT(!rig->emulator.outputOn(), waitMs);

    // Tripped: the questionable bit and TRIP? of its kind alone; OUTP ON refused, nothing sent.
    QCOMPARE(first.ask("VOLT:PROT:TRIP?;:CURR:PROT:TRIP?;:POW:PROT:TRIP?;:STAT:QUES:COND?"),
             QByteArray("1"));
    QCOMPARE(first.answer(), QByteArray("0"));
    QCOMPARE(first.answer(), QByteArray("0"));
    QCOMPARE(first.answer(), QByteArray("1"));
    const int switches = countFor(Wire::OutputSwitch, Wire::Write);
    first.send("OUTP ON;OUTP 1");
    QCOMPARE(first.ask("*OPC?"), QByteArray("1"));
    QCOMPARE(ErrorsOf(first),
             QVector<QByteArray>(2, "-221,\"Settings conflict;output protection tripped\"").toList());
    QVERIFY(rig->WaitTicks(4));
    QCOMPARE(countFor(Wire::OutputSwitch, Wire::Write), switches);
    // Off and setpoints are still taken.
    first.send("OUTP OFF;VOLT 11");
    QCOMPARE(first.ask("*OPC?"), QByteArray("1"));
    QCOMPARE(ErrorsOf(first), QList<QByteArray>());
    QCOMPARE(rig->emulator.setpoints().voltage, 11000);

    // Cleared (with the level above the output, or it trips again at once): on again.
    first.send("VOLT:PROT 13;:OUTP:PROT:CLE");
    QCOMPARE(first.ask("VOLT:PROT:TRIP?;:STAT:QUES:COND?"), QByteArray("0"));
    QCOMPARE(first.answer(), QByteArray("0"));
    QVERIFY(!guarded.guard.Tripped());
    first.send("OUTP ON");
    QCOMPARE(first.ask("*OPC?"), QByteArray("1"));
    QCOMPARE(ErrorsOf(first), QList<QByteArray>());
    QTRY_VERIFY_WITH_TIMEOUT(rig->emulator.outputOn(), waitMs);
}

QTEST_MAIN(ScpiServerTest)
#include "tst_scpiserver.moc"
