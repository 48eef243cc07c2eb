#include "link/deviceprotocol.h"
#include "link/recordlayout.h"
#include "session/devicesession.h"
#include "session/portchangewatch.h"
#include "session/portrecovery.h"
#include "sim/converteremulator.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <functional>
#include <memory>

namespace {

constexpr int waitMs = 5000;

using Request = std::function<void(DeviceSession &)>;

void Click(DeviceSession &session, SessionCommand command)
{
    session.Submit(std::move(command), CommandLane::Operator);
}

// The emulator's view of a register and operation: a request of it.
struct Wire
{
    quint8 reg = 0;
    quint8 operation = 0;
};

} // namespace

Q_DECLARE_METATYPE(Request)
Q_DECLARE_METATYPE(Wire)
Q_DECLARE_METATYPE(LinkResult)

// A DeviceSession on its own, as every front end uses it: its states, its tick and the rules
// by which operators' and scripts' commands reach the converter.
class DeviceSessionTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void linkStates();
    void commandDuringATransactionRunsLater_data();
    void commandDuringATransactionRunsLater();
    void laterRequestReplacesAWaitingOne();
    void writeGivesUpAfterFourAttempts();
    void commandWaitsForARetriedWrite();
    void queuedCommandsKeepTheirOrderAndTheirTurns();
    void closingCancelsQueuedCommands();
    void closingDuringTheFirstSetpointReadStopsPolling();

private:
    int count(Wire wire) const;
    // Calls `action` once, from inside the transaction that sends the first request of `wire`.
    void duringFirst(Wire wire, std::function<void()> action);
    // Waits until the emulator has seen `more` further poll reads.
    void waitForPollReads(int more);

    QString port() const { return emulator->linkPath(); }
    // Whether any of the session's timers runs: the poll tick, a recovery's pace.
    bool anyTimerActive() const;

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<ConverterEmulator> emulator;
    std::unique_ptr<DeviceSession> session;
};

void DeviceSessionTest::init()
{
    // The signal spies keep these arguments.
    qRegisterMetaType<DeviceSession::Block>();
    qRegisterMetaType<LinkResult>();
    emulator = std::make_unique<ConverterEmulator>();
    emulator->setPaced(false);
    // Opened by a link of its own: a pseudo-terminal's name is reused by the next one made on
    // this machine, and a session reopening a lost port by that name could meet another test's
    // emulator.
    dir = std::make_unique<QTemporaryDir>();
    emulator->setLinkPath(dir->filePath(QStringLiteral("ttyVORNEX")));
    QString error;
    QVERIFY2(emulator->start(&error), qPrintable(error));
    session = std::make_unique<DeviceSession>();
    session->SetTrace(nullptr);
}

void DeviceSessionTest::cleanup()
{
    session.reset();
    emulator.reset();
    dir.reset();
}

int DeviceSessionTest::count(Wire wire) const
{
    int n = 0;
    for (const EmulatorRequest &request : emulator->requests())
        n += request.parsed && request.registerCode == wire.reg &&
             request.operationCode == wire.operation;
    return n;
}

void DeviceSessionTest::duringFirst(Wire wire, std::function<void()> action)
{
    auto done = std::make_shared<bool>(false);
    connect(emulator.get(), &ConverterEmulator::requestReceived, this,
            [wire, action, done](const EmulatorRequest &request) {
                if (*done || request.registerCode != wire.reg ||
                    request.operationCode != wire.operation)
                    return;
                *done = true;
                action();
            });
}

bool DeviceSessionTest::anyTimerActive() const
{
    const QList<QTimer *> timers = session->findChildren<QTimer *>();
    return std::any_of(timers.begin(), timers.end(),
                       [](QTimer *timer) { return timer->isActive(); });
}

void DeviceSessionTest::waitForPollReads(int more)
{
    const Wire status{DeviceRegister::Status, DeviceOperation::Read};
    const Wire adc{DeviceRegister::Adc, DeviceOperation::Read};
    const int target = count(status) + count(adc) + more;
    QTRY_VERIFY_WITH_TIMEOUT(count(status) + count(adc) >= target, waitMs);
}

void DeviceSessionTest::linkStates()
{
    using State = DeviceSession::LinkState;
    QSignalSpy failedReads(session.get(), &DeviceSession::readFailed);
    int failedReadsAtNoAnswer = -1;
    QElapsedTimer sinceLoss;
    qint64 lostForMs = -1;
    connect(session.get(), &DeviceSession::linkStateChanged, this, [&](State state) {
        if (state == State::NoAnswer)
            failedReadsAtNoAnswer = failedReads.size();
        if (state == State::PortLost)
            sinceLoss.start();
        if (state == State::Connected && sinceLoss.isValid())
            lostForMs = sinceLoss.elapsed();
    });

    QVERIFY(session->Open(port()));
    QCOMPARE(session->State(), State::Connected);
    waitForPollReads(2);

    // Four failed poll reads in a row and the device counts as not answering.
    failedReads.clear();
    FaultSettings silent;
    silent.silent = true;
    emulator->setFaults(silent);
    QTRY_COMPARE_WITH_TIMEOUT(session->State(), State::NoAnswer, waitMs);
    QCOMPARE(failedReadsAtNoAnswer, DeviceSession::FailedReadsForNoAnswer);
    emulator->clearFaults();
    QTRY_COMPARE_WITH_TIMEOUT(session->State(), State::Connected, waitMs);

    // A device back after 300 ms is reopened no sooner than a second after the loss: an
    // adapter needs that long, and trying more often would only load the system.
    emulator->hangUpFor(300);
    QTRY_COMPARE_WITH_TIMEOUT(session->State(), State::PortLost, waitMs);
    QTRY_COMPARE_WITH_TIMEOUT(session->State(), State::Connected, waitMs);
    QVERIFY2(lostForMs >= PortRecovery::ReopenIntervalMs - 50,
             qPrintable(QString::number(lostForMs)));

    // Closing while lost ends the recovery: the device coming back is left alone.
    emulator->hangUp();
    QTRY_COMPARE_WITH_TIMEOUT(session->State(), State::PortLost, waitMs);
    session->Close();
    QCOMPARE(session->State(), State::Disconnected);
    QVERIFY(!anyTimerActive());
    QVERIFY(session->findChildren<PortChangeWatch *>().isEmpty());
}

void DeviceSessionTest::commandDuringATransactionRunsLater_data()
{
    QTest::addColumn<Request>("first");
    QTest::addColumn<Wire>("during");

    const Request none = [](DeviceSession &) {};
    QTest::newRow("status read") << none << Wire{DeviceRegister::Status, DeviceOperation::Read};
    QTest::newRow("ADC read") << none << Wire{DeviceRegister::Adc, DeviceOperation::Read};
    QTest::newRow("setpoint write") << Request([](DeviceSession &s) {
        Click(s, SessionCommand::WriteSetpoints([] { return Setpoints{5000, 1000}; }));
    }) << Wire{DeviceRegister::Setpoints, DeviceOperation::Write};
    QTest::newRow("output switch off")
        << Request([](DeviceSession &s) { Click(s, SessionCommand::SwitchOutput(false)); })
        << Wire{DeviceRegister::OutputSwitch, DeviceOperation::Write};
    QTest::newRow("calibration read")
        << Request([](DeviceSession &s) { Click(s, SessionCommand::ReadCalibration()); })
        << Wire{DeviceRegister::Calibration, DeviceOperation::Read};
    QTest::newRow("calibration write") << Request([](DeviceSession &s) {
        Click(s, SessionCommand::WriteCalibration([] {
                  return CalibrationBlock{1000, 1000, 1000, 1000, 1000, 0, 0, 0, 0, 0, 0};
              }));
    }) << Wire{DeviceRegister::Calibration, DeviceOperation::Write};
    QTest::newRow("user-parameter read")
        << Request([](DeviceSession &s) { Click(s, SessionCommand::ReadUserParams()); })
        << Wire{DeviceRegister::UserParams, DeviceOperation::Read};
    QTest::newRow("user-parameter write") << Request([](DeviceSession &s) {
        Click(s, SessionCommand::WriteUserParams([] { return UserParamBlock(); }));
    }) << Wire{DeviceRegister::UserParams, DeviceOperation::Write};
}

// An operator's click while a transaction waits for its reply reaches the device on a later
// tick, whatever the transaction was; the command under way ends as it would have.
void DeviceSessionTest::commandDuringATransactionRunsLater()
{
    QFETCH(Request, first);
    QFETCH(Wire, during);
    const Wire switchOutput{DeviceRegister::OutputSwitch, DeviceOperation::Write};
    emulator->setOutputOn(during.reg == DeviceRegister::OutputSwitch);
    QSignalSpy failed(session.get(), &DeviceSession::writeFailed);
    std::optional<CommandOutcome> switched;
    duringFirst(during, [this, &switched] {
        session->Submit(SessionCommand::SwitchOutput(true), CommandLane::Operator,
                        [&switched](CommandOutcome outcome) { switched = outcome; });
    });

    QVERIFY(session->Open(port()));
    first(*session);
    QTRY_VERIFY_WITH_TIMEOUT(emulator->outputOn(), waitMs);
    QTRY_COMPARE_WITH_TIMEOUT(count(switchOutput),
                              during.reg == DeviceRegister::OutputSwitch ? 2 : 1, waitMs);
    QCOMPARE(count(during) >= 1, true);
    QCOMPARE(failed.size(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(switched.has_value(), waitMs);
    QCOMPARE(*switched, CommandOutcome::Done);
}

// Two requests before a tick: only the later one runs, as a second click on another button
// changes the operator's mind.
void DeviceSessionTest::laterRequestReplacesAWaitingOne()
{
    QVERIFY(session->Open(port()));
    Click(*session, SessionCommand::WriteSetpoints([] { return Setpoints{5000, 1000}; }));
    Click(*session, SessionCommand::SwitchOutput(true));
    QTRY_VERIFY_WITH_TIMEOUT(emulator->outputOn(), waitMs);
    waitForPollReads(2);
    QCOMPARE(count({DeviceRegister::Setpoints, DeviceOperation::Write}), 0);
}

void DeviceSessionTest::writeGivesUpAfterFourAttempts()
{
    FaultSettings refuse;
    refuse.nak = true;
    emulator->setFaults(refuse);
    QSignalSpy failed(session.get(), &DeviceSession::writeFailed);
    QVERIFY(session->Open(port()));
    std::optional<CommandOutcome> outcome;
    session->Submit(SessionCommand::WriteSetpoints([] {
                        return Setpoints{5000, 1000};
                    }),
                    CommandLane::Operator, [&outcome](CommandOutcome ended) { outcome = ended; });
    QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 1, waitMs);
    QCOMPARE(outcome, std::optional<CommandOutcome>(CommandOutcome::BadReply));
    QCOMPARE(failed.first().at(1).value<LinkResult>(), BadReply);
    // The poll reads take over again, and no fifth attempt follows.
    waitForPollReads(4);
    QCOMPARE(count({DeviceRegister::Setpoints, DeviceOperation::Write}), 4);
    QCOMPARE(failed.size(), 1);
}

// A write that failed its first attempts keeps its attempts when a click comes meanwhile: the
// click waits for it to end instead of cancelling it.
void DeviceSessionTest::commandWaitsForARetriedWrite()
{
    const Wire setpointWrite{DeviceRegister::Setpoints, DeviceOperation::Write};
    QVERIFY(session->Open(port()));
    waitForPollReads(1);
    FaultSettings firstTwoLost;
    firstTwoLost.silentFirst = 2;
    emulator->setFaults(firstTwoLost);
    QStringList done;
    const auto note = [&done](const char *name) {
        return [&done, name](CommandOutcome outcome) {
            if (outcome == CommandOutcome::Done)
                done << QLatin1String(name);
        };
    };
    duringFirst(setpointWrite, [this, note] {
        session->Submit(SessionCommand::SwitchOutput(true), CommandLane::Operator, note("switch"));
    });
    session->Submit(SessionCommand::WriteSetpoints([] {
                        return Setpoints{7000, 1200};
                    }),
                    CommandLane::Operator, note("write"));

    QTRY_VERIFY_WITH_TIMEOUT(emulator->outputOn(), waitMs);
    QCOMPARE(count(setpointWrite), 3);
    QCOMPARE(emulator->setpoints().voltage, 7000);
    QTRY_COMPARE_WITH_TIMEOUT(
        done, QStringList({QStringLiteral("write"), QStringLiteral("switch")}), waitMs);
}

// Scripts' commands are queued: a click neither replaces nor overtakes one queued before it,
// and two poll reads run between two queued commands so a busy script cannot starve the
// readings.
void DeviceSessionTest::queuedCommandsKeepTheirOrderAndTheirTurns()
{
    QStringList wire;
    connect(
        emulator.get(), &ConverterEmulator::requestReceived, this,
        [&wire](const EmulatorRequest &request) {
            if (request.registerCode == DeviceRegister::Setpoints &&
                request.operationCode == DeviceOperation::Write)
                wire << QStringLiteral("write %1").arg(QString::fromLatin1(request.data.toHex()));
            else if (request.registerCode == DeviceRegister::OutputSwitch)
                wire << QStringLiteral("switch");
            else if (request.operationCode == DeviceOperation::Read)
                wire << QStringLiteral("read");
        });
    QStringList outcomes;
    const auto note = [&outcomes](const char *name) {
        return [&outcomes, name](CommandOutcome outcome) {
            outcomes << QStringLiteral("%1 %2").arg(QLatin1String(name)).arg(int(outcome));
        };
    };
    const auto writeOf = [](Setpoints setpoints) {
        return QStringLiteral("write %1")
            .arg(QString::fromLatin1(RecordLayout::PackSetpoints(setpoints).toHex()));
    };
    QVERIFY(session->Open(port()));
    waitForPollReads(2);
    wire.clear();

    const auto write = [](qint32 voltage) {
        return SessionCommand::WriteSetpoints([voltage] { return Setpoints{voltage, 1000}; });
    };
    session->Submit(write(5000), CommandLane::Script, note("first"));
    Click(*session, write(6000));
    session->Submit(write(7000), CommandLane::Script, note("second"));
    session->Submit(SessionCommand::SwitchOutput(true), CommandLane::Script, note("switch"));
    QTRY_COMPARE_WITH_TIMEOUT(outcomes.size(), 3, waitMs);
    const int done = int(CommandOutcome::Done);
    QCOMPARE(outcomes, QStringList({QStringLiteral("first %1").arg(done),
                                    QStringLiteral("second %1").arg(done),
                                    QStringLiteral("switch %1").arg(done)}));
    const QStringList expected{writeOf({5000, 1000}),  writeOf({6000, 1000}),
                               QStringLiteral("read"), QStringLiteral("read"),
                               writeOf({7000, 1000}),  QStringLiteral("read"),
                               QStringLiteral("read"), QStringLiteral("switch")};
    QCOMPARE(wire.mid(0, expected.size()), expected);
    QCOMPARE(session->KnownSetpoints()->voltage, 7000);
}

// A script must not wait for an operator to reconnect: closing ends its queued commands, and
// nothing of them reaches the converter.
void DeviceSessionTest::closingCancelsQueuedCommands()
{
    QVERIFY(session->Open(port()));
    waitForPollReads(1);
    QVector<CommandOutcome> outcomes;
    const auto note = [&outcomes](CommandOutcome outcome) { outcomes << outcome; };
    session->Submit(SessionCommand::WriteSetpoints([] {
                        return Setpoints{5000, 1000};
                    }),
                    CommandLane::Script, note);
    session->Submit(SessionCommand::SwitchOutput(true), CommandLane::Script, note);
    session->Close();
    QCOMPARE(outcomes, QVector<CommandOutcome>(2, CommandOutcome::Cancelled));
    QVERIFY(session->Open(port()));
    waitForPollReads(4);
    QCOMPARE(count({DeviceRegister::Setpoints, DeviceOperation::Write}), 0);
    QCOMPARE(count({DeviceRegister::OutputSwitch, DeviceOperation::Write}), 0);
}

// "Отключить" while "Подключить" still waits for the first setpoint read: the session stays
// closed and nothing polls the closed port.
void DeviceSessionTest::closingDuringTheFirstSetpointReadStopsPolling()
{
    FaultSettings silent;
    silent.silent = true;
    emulator->setFaults(silent);
    QSignalSpy ticks(session.get(), &DeviceSession::tickDone);
    duringFirst({DeviceRegister::Setpoints, DeviceOperation::Read}, [this] { session->Close(); });
    QVERIFY(session->Open(port()));
    QCOMPARE(session->State(), DeviceSession::LinkState::Disconnected);
    QVERIFY(!anyTimerActive());
    QCOMPARE(ticks.size(), 0);
}

QTEST_MAIN(DeviceSessionTest)
#include "tst_devicesession.moc"
