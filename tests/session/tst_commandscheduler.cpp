#include "session/commandscheduler.h"

#include <QtTest>

#include <map>

namespace {

const char *OutcomeName(CommandOutcome outcome)
{
    switch (outcome) {
    case CommandOutcome::Done:
        return "done";
    case CommandOutcome::NoReply:
        return "noreply";
    case CommandOutcome::BadReply:
        return "badreply";
    case CommandOutcome::Cancelled:
        return "cancelled";
    case CommandOutcome::Tripped:
        return "tripped";
    case CommandOutcome::Replaced:
        break;
    }
    return "replaced";
}

// Plays a scenario on a scheduler and writes down what happens, in order: the command each
// tick runs (or "poll") and every completion ("A:done").
//   o:A  the operator gives a setpoint write A (tried on up to four ticks)
//   r:A  the operator gives a calibration read A (tried once)
//   s:A  a script gives a setpoint write A
//   t    a tick whose transaction succeeds; f: one that fails with no reply
//   F    a tick whose transaction fails while the port is closed during it
//   x    the port is closed
//   u    a protection trips: an urgent switch-off OFF, and the scripts' commands end as tripped
QString Play(const QString &scenario)
{
    CommandScheduler scheduler;
    QStringList seen;
    std::map<quint64, QString> names;
    quint64 given = 0;
    const auto close = [&] {
        for (const CommandCompletion &done : scheduler.TakeScriptCommands())
            done(CommandOutcome::Cancelled);
    };
    for (const QString &step : scenario.split(QLatin1Char(' '))) {
        if (step.contains(QLatin1Char(':'))) {
            const QString name = step.mid(2);
            names[++given] = name;
            const CommandCompletion done = [&seen, name](CommandOutcome outcome) {
                seen << name + QLatin1Char(':') + QLatin1String(OutcomeName(outcome));
            };
            const SessionCommand command =
                step.startsWith(QLatin1Char('r'))
                    ? SessionCommand::ReadCalibration()
                    : SessionCommand::WriteSetpoints([] { return Setpoints(); });
            scheduler.Submit(command,
                             step.startsWith(QLatin1Char('s')) ? CommandLane::Script
                                                               : CommandLane::Operator,
                             done);
        } else if (step == QLatin1String("x")) {
            close();
        } else if (step == QLatin1String("u")) {
            names[++given] = QStringLiteral("OFF");
            scheduler.SubmitUrgent(SessionCommand::SwitchOutput(false));
            for (const CommandCompletion &done : scheduler.TakeScriptCommands())
                done(CommandOutcome::Tripped);
        } else {
            const std::optional<CommandScheduler::Started> started = scheduler.ForTick();
            if (!started) {
                seen << QStringLiteral("poll");
                scheduler.CountPollRead();
                continue;
            }
            seen << names[started->number];
            if (step == QLatin1String("F"))
                close();
            const CommandScheduler::AttemptEnd end = scheduler.EndAttempt(
                started->number, step == QLatin1String("t") ? Success : NoReply);
            if (end.done)
                end.done(end.outcome);
        }
    }
    return seen.join(QLatin1Char(' '));
}

} // namespace

// Which command a tick runs, and how commands end, without a port.
class CommandSchedulerTest : public QObject
{
    Q_OBJECT

private slots:
    void scenarios_data();
    void scenarios();
};

void CommandSchedulerTest::scenarios_data()
{
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<QString>("seen");

    QTest::newRow("nothing given: poll reads") << "t t"
                                               << "poll poll";
    QTest::newRow("a later click replaces a waiting one") << "o:A o:B t t"
                                                          << "A:replaced B B:done poll";
    QTest::newRow("a write gets four attempts, then gives up") << "o:A f f f f t"
                                                               << "A A A A A:noreply poll";
    QTest::newRow("a write answered on its third attempt") << "o:A f f t t"
                                                           << "A A A A:done poll";
    QTest::newRow("a read is tried once") << "r:A f t"
                                          << "A A:noreply poll";
    QTest::newRow("a click waits for a write under way") << "o:A f o:B t t t"
                                                         << "A A A:done B B:done poll";
    QTest::newRow("scripts keep their order, two poll reads apart")
        << "s:A s:B t t t t"
        << "A A:done poll poll B B:done";
    QTest::newRow("a click and scripts take turns by the order given")
        << "s:A o:B s:C t t t t t"
        << "A A:done B B:done poll poll C C:done";
    QTest::newRow("a script is never replaced") << "s:A s:B o:C t t t t t t"
                                                << "A A:done C C:done poll poll B B:done poll";
    QTest::newRow("closing cancels scripts; the click waits") << "o:A s:B x t t"
                                                              << "B:cancelled A A:done poll";
    QTest::newRow("closing cancels a script between its attempts") << "s:A f x t"
                                                                   << "A A:cancelled poll";
    QTest::newRow("a script cancelled during its transaction ends once") << "s:A F t"
                                                                         << "A A:cancelled poll";
    QTest::newRow("the click under way outlives a close") << "o:A f x t t"
                                                          << "A A A:done poll";
    QTest::newRow("a trip goes ahead of a waiting click") << "o:A u t t t"
                                                          << "OFF A A:done poll";
    QTest::newRow("a trip cuts between a write's attempts") << "o:A f u t t t"
                                                            << "A OFF A A:done poll";
    QTest::newRow("a trip cancels the scripts' queue") << "s:A s:B u t t"
                                                       << "A:tripped B:tripped OFF poll";
    QTest::newRow("the switch-off is tried until it gets through")
        << "u f f f f f t t"
        << "OFF OFF OFF OFF OFF OFF poll";
}

void CommandSchedulerTest::scenarios()
{
    QFETCH(QString, scenario);
    QTEST(Play(scenario), "seen");
}

QTEST_APPLESS_MAIN(CommandSchedulerTest)
#include "tst_commandscheduler.moc"
