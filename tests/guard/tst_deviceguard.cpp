#include "guard/counterfile.h"
#include "guard/deviceguard.h"
#include "tests/support/emulatedsession.h"
#include "tests/support/requestcount.h"
#include "tests/support/wire.h"

#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <memory>

namespace {

// A script's command that notes how it ended.
CommandCompletion Note(QStringList &ends, const QString &name)
{
    return [&ends, name](CommandOutcome outcome) {
        ends << name + (outcome == CommandOutcome::Tripped ? QStringLiteral(":tripped")
                        : outcome == CommandOutcome::Done  ? QStringLiteral(":done")
                                                           : QStringLiteral(":other"));
    };
}

SessionCommand Volts(int millivolts)
{
    return SessionCommand::WriteSetpoints([millivolts] { return Setpoints{millivolts, 1000}; });
}

// The requests after the last status read that the session took in, by register.
QVector<quint8> RegistersSince(const QVector<EmulatorRequest> &requests, int from)
{
    QVector<quint8> registers;
    for (int i = from; i < requests.size(); ++i) {
        if (requests.at(i).parsed)
            registers << requests.at(i).registerCode;
    }
    return registers;
}

} // namespace

// The guard on a session against the emulated converter: trips that switch the output off
// ahead of everything, and counters that outlive the program.
class DeviceGuardTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void tripSwitchesOffFirstAndCancelsScripts();
    void noSwitchOnUntilAcknowledged();
    void lockCutsBetweenAWritesAttempts();
    void staleReadsNeverTrip();
    void countersFollowTheConvertersOwnCount_data();
    void countersFollowTheConvertersOwnCount();
    void countersOutliveTheGuard();
    void damagedCountersAreSetAsideAndASecondGuardDoesNotSave();
    void countersSurviveAKill();

private:
    // Opens the session with the output on into 10 ohm at 12 V: 1.2 A.
    void switchOn();
    std::unique_ptr<DeviceGuard> newGuard();
    void setVoltageTrip(double level, double delaySeconds);

    std::unique_ptr<QTemporaryDir> folder;
    std::unique_ptr<QSettings> store;
    std::unique_ptr<EmulatedSession> bench;
    std::unique_ptr<DeviceGuard> guard;
};

void DeviceGuardTest::init()
{
    folder = std::make_unique<QTemporaryDir>();
    store = std::make_unique<QSettings>(folder->filePath(QStringLiteral("store.ini")),
                                        QSettings::IniFormat);
    bench = std::make_unique<EmulatedSession>();
    QString error;
    QVERIFY2(bench->Start(&error), qPrintable(error));
    bench->emulator.setSetpoints(Setpoints{12000, 2000});
    bench->emulator.setLoadResistance(10);
    guard = newGuard();
}

void DeviceGuardTest::cleanup()
{
    guard.reset();
    bench.reset();
    store.reset();
    folder.reset();
}

std::unique_ptr<DeviceGuard> DeviceGuardTest::newGuard()
{
    return std::make_unique<DeviceGuard>(&bench->session, store.get(), folder->path());
}

void DeviceGuardTest::switchOn()
{
    QVERIFY(bench->Open());
    bench->session.Submit(SessionCommand::SwitchOutput(true), CommandLane::Operator);
    QTRY_VERIFY_WITH_TIMEOUT(bench->session.Status().outputOn != 0, TestWaitMs);
}

void DeviceGuardTest::setVoltageTrip(double level, double delaySeconds)
{
    ProtectionSettings settings = guard->Settings();
    settings.voltage = {true, level, delaySeconds};
    guard->SetSettings(settings);
}

void DeviceGuardTest::tripSwitchesOffFirstAndCancelsScripts()
{
    switchOn();
    QStringList ends;
    QSignalSpy trips(guard.get(), &DeviceGuard::tripped);
    int tripRead = -1;
    connect(guard.get(), &DeviceGuard::tripped, this,
            [&] { tripRead = bench->emulator.requests().size(); });
    // Work of every kind is waiting when the read that crosses the limit comes in: a click and
    // a queue of scripts, given while that read waits for its reply.
    bool given = false;
    connect(&bench->emulator, &ConverterEmulator::requestReceived, this,
            [&](const EmulatorRequest &request) {
                if (given || request.registerCode != Wire::Status)
                    return;
                given = true;
                QTimer::singleShot(0, &bench->session, [&] {
                    bench->session.Submit(Volts(12000), CommandLane::Operator,
                                          Note(ends, QStringLiteral("click")));
                    for (const QString &name :
                         {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")})
                        bench->session.Submit(Volts(12000), CommandLane::Script, Note(ends, name));
                });
            });
    setVoltageTrip(11.5, 0);
    QTRY_COMPARE_WITH_TIMEOUT(trips.size(), 1, TestWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(!bench->emulator.outputOn(), TestWaitMs);

    const Trip trip = trips.at(0).at(0).value<Trip>();
    QCOMPARE(trip.kind, TripKind::Voltage);
    QCOMPARE(trip.value, 12.0);
    QVERIFY(guard->Tripped());
    // Whatever had run before the trip, the next request is the switch-off.
    const QVector<quint8> after = RegistersSince(bench->emulator.requests(), tripRead);
    QVERIFY(!after.isEmpty());
    QCOMPARE(after.first(), Wire::OutputSwitch);
    QCOMPARE(ends.mid(0, 3), (QStringList{QStringLiteral("a:tripped"), QStringLiteral("b:tripped"),
                                          QStringLiteral("c:tripped")}));
    // The click waits and runs after the switch-off: setpoints do not switch anything on.
    QTRY_VERIFY_WITH_TIMEOUT(ends.contains(QStringLiteral("click:done")), TestWaitMs);
    QVERIFY(!bench->emulator.outputOn());

    QFile record(folder->filePath(DeviceGuard::RecordFileName()));
    QVERIFY(record.open(QIODevice::ReadOnly));
    QVERIFY(record.readAll().contains(" OVP 12.00 V > 11.50 V (12.00 V, 1.2000 A)\n"));
}

void DeviceGuardTest::noSwitchOnUntilAcknowledged()
{
    switchOn();
    setVoltageTrip(11.5, 0);
    QTRY_VERIFY_WITH_TIMEOUT(!bench->emulator.outputOn(), TestWaitMs);
    const int switches = CountFor(bench->emulator, Wire::OutputSwitch, Wire::Write);
    QStringList ends;
    bench->session.Submit(SessionCommand::SwitchOutput(true), CommandLane::Operator,
                          Note(ends, QStringLiteral("on")));
    QTRY_COMPARE_WITH_TIMEOUT(ends, QStringList{QStringLiteral("on:tripped")}, TestWaitMs);
    QVERIFY(bench->WaitTicks(3));
    QCOMPARE(CountFor(bench->emulator, Wire::OutputSwitch, Wire::Write), switches);

    // The limit is raised and the trip acknowledged: the output may come on again.
    setVoltageTrip(13, 0);
    guard->Acknowledge();
    QVERIFY(!guard->Tripped());
    bench->session.Submit(SessionCommand::SwitchOutput(true), CommandLane::Operator,
                          Note(ends, QStringLiteral("again")));
    QTRY_VERIFY_WITH_TIMEOUT(bench->emulator.outputOn(), TestWaitMs);
    QVERIFY(bench->WaitTicks(4));
    QVERIFY(!guard->Tripped());
}

void DeviceGuardTest::lockCutsBetweenAWritesAttempts()
{
    QVERIFY(bench->Open());
    FaultSettings refuse;
    refuse.nak = true;
    bench->emulator.setFaults(refuse);
    const int from = bench->emulator.requests().size();
    bool locked = false;
    connect(&bench->emulator, &ConverterEmulator::requestReceived, this,
            [&](const EmulatorRequest &request) {
                if (locked || request.registerCode != Wire::Setpoints)
                    return;
                // A protection trips while the write waits for its next attempt.
                locked = true;
                bench->emulator.clearFaults();
                QTimer::singleShot(0, &bench->session, [this] { bench->session.LockOutputOff(); });
            });
    bench->session.Submit(Volts(5000), CommandLane::Operator);
    QTRY_COMPARE_WITH_TIMEOUT(bench->emulator.setpoints().voltage, 5000, TestWaitMs);
    const QVector<quint8> seen = RegistersSince(bench->emulator.requests(), from);
    const int firstWrite = seen.indexOf(Wire::Setpoints);
    QVERIFY(firstWrite >= 0);
    QCOMPARE(seen.mid(firstWrite, 3),
             (QVector<quint8>{Wire::Setpoints, Wire::OutputSwitch, Wire::Setpoints}));
}

void DeviceGuardTest::staleReadsNeverTrip()
{
    switchOn();
    FaultSettings silent;
    silent.silent = true;
    bench->emulator.setFaults(silent);
    setVoltageTrip(11.5, 0);
    QTRY_COMPARE_WITH_TIMEOUT(bench->session.State(), DeviceSession::LinkState::NoAnswer,
                              TestWaitMs);
    QVERIFY(bench->WaitTicks(4));
    QVERIFY(!guard->Tripped());
    QVERIFY(bench->emulator.outputOn());
    // The converter answers again: its first fresh reading is judged at once.
    bench->emulator.clearFaults();
    QTRY_VERIFY_WITH_TIMEOUT(guard->Tripped(), TestWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(!bench->emulator.outputOn(), TestWaitMs);
}

void DeviceGuardTest::countersFollowTheConvertersOwnCount_data()
{
    QTest::addColumn<QString>("profile");
    QTest::addColumn<int>("stepMs");
    QTest::addColumn<double>("tolerance"); // of the charge and energy the converter counted

    QTest::newRow("a constant load") << QString() << 0 << 0.002;
    // Each step falls between two reads half a second apart; the trapezoid is off by at most a
    // quarter second of the step's change in current, about 2 % over four steps in 12 s.
    QTest::newRow("a load that steps") << QStringLiteral("10,20,6,12") << 3000 << 0.03;
}

// Between two status reads the guard adds what the converter delivered, as the converter itself
// counts it at the moment each read reaches it.
void DeviceGuardTest::countersFollowTheConvertersOwnCount()
{
    QFETCH(QString, profile);
    QFETCH(int, stepMs);
    QFETCH(double, tolerance);
    switchOn();
    if (!profile.isEmpty())
        bench->emulator.setLoadProfile(LoadProfile::parse(profile, stepMs, false));
    DeliveredEnergy atRequest;
    connect(&bench->emulator, &ConverterEmulator::requestReceived, this,
            [&](const EmulatorRequest &request) {
                if (request.registerCode == Wire::Status)
                    atRequest = bench->emulator.delivered();
            });
    QVector<QPair<EnergyTotals, DeliveredEnergy>> reads;
    connect(&bench->session, &DeviceSession::statusRead, this, [&] {
        reads.append({guard->Totals(), atRequest});
    });
    constexpr int Reads = 25;
    QTRY_VERIFY_WITH_TIMEOUT(reads.size() > Reads, 4 * Reads * 500);
    const EnergyTotals counted{reads.last().first.ampereSeconds - reads.first().first.ampereSeconds,
                               reads.last().first.joules - reads.first().first.joules,
                               reads.last().first.onSeconds - reads.first().first.onSeconds,
                               0,
                               {}};
    const double ampereSeconds =
        (reads.last().second.milliampereMs - reads.first().second.milliampereMs) / 1e6;
    const double joules =
        (reads.last().second.microwattMs - reads.first().second.microwattMs) / 1e9;
    QVERIFY(ampereSeconds > 0);
    QVERIFY2(std::abs(counted.ampereSeconds / ampereSeconds - 1) <= tolerance,
             qPrintable(QStringLiteral("%1 A·s counted, %2 delivered")
                            .arg(counted.ampereSeconds, 0, 'g', 9)
                            .arg(ampereSeconds, 0, 'g', 9)));
    QVERIFY2(std::abs(counted.joules / joules - 1) <= tolerance,
             qPrintable(QStringLiteral("%1 J counted, %2 delivered")
                            .arg(counted.joules, 0, 'g', 9)
                            .arg(joules, 0, 'g', 9)));
    QCOMPARE(reads.last().first.gapSeconds, 0.0);
}

void DeviceGuardTest::countersOutliveTheGuard()
{
    switchOn();
    QTRY_VERIFY_WITH_TIMEOUT(guard->Totals().ampereSeconds > 1.0, TestWaitMs);
    const EnergyTotals counted = guard->Totals();
    QVERIFY(counted.joules > 11.0 * counted.ampereSeconds);
    guard.reset();
    const CounterFile::Loaded saved =
        CounterFile::Load(folder->filePath(DeviceGuard::CounterFileName()));
    QVERIFY(saved.totals);
    QCOMPARE(*saved.totals, counted);
    guard = newGuard();
    QCOMPARE(guard->Totals(), counted);
    QCOMPARE(guard->CounterProblem(), QString());

    guard->ResetCounters();
    QCOMPARE(guard->Totals().ampereSeconds, 0.0);
    QVERIFY(guard->Totals().resetAt.isValid());
    QCOMPARE(CounterFile::Load(folder->filePath(DeviceGuard::CounterFileName())).totals,
             std::optional<EnergyTotals>(guard->Totals()));
}

void DeviceGuardTest::damagedCountersAreSetAsideAndASecondGuardDoesNotSave()
{
    // A damaged file is set aside, not overwritten by the first save.
    guard.reset();
    QFile damaged(folder->filePath(DeviceGuard::CounterFileName()));
    QVERIFY(damaged.open(QIODevice::WriteOnly));
    damaged.write("{\"ampereSeconds\": 12");
    damaged.close();
    guard = newGuard();
    QVERIFY(guard->CounterProblem().contains(QStringLiteral("counters-damaged.json")));
    QVERIFY(QFile::exists(folder->filePath(QStringLiteral("counters-damaged.json"))));

    const std::unique_ptr<DeviceGuard> second = newGuard();
    QVERIFY(second->CounterProblem().contains(QStringLiteral("другое окно")));
}

// A panel killed while it counts leaves a whole counter file, at most one save behind.
void DeviceGuardTest::countersSurviveAKill()
{
    const QString path = folder->filePath(DeviceGuard::CounterFileName());
    guard.reset();
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QStringLiteral(GUARD_CHILD_PATH), {folder->path()});
    QVERIFY(child.waitForStarted());
    // Two saves while the output is on: the second one replaced the first whole.
    double first = 0;
    QTRY_VERIFY_WITH_TIMEOUT(
        (first = CounterFile::Load(path).totals.value_or(EnergyTotals()).ampereSeconds) > 0,
        4 * DeviceGuard::SaveIntervalMs);
    QTRY_VERIFY_WITH_TIMEOUT(CounterFile::Load(path).totals.value_or(EnergyTotals()).ampereSeconds >
                                 first,
                             4 * DeviceGuard::SaveIntervalMs);
    child.kill();
    QVERIFY(child.waitForFinished());
    const CounterFile::Loaded left = CounterFile::Load(path);
    QVERIFY2(left.totals, qPrintable(left.problem));
    QVERIFY(left.totals->ampereSeconds > first);
    // The next panel takes them over: the dead one's lock is stale.
    guard = newGuard();
    QCOMPARE(guard->CounterProblem(), QString());
    QCOMPARE(guard->Totals(), *left.totals);
}

QTEST_GUILESS_MAIN(DeviceGuardTest)
#include "tst_deviceguard.moc"
