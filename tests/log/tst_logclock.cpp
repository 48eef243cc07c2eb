#include "log/logclock.h"
#include "log/logline.h"

#include <QtTest>

namespace {
QTime At(const char *text)
{
    return QTime::fromString(QLatin1String(text), QStringLiteral("hh:mm:ss.zzz"));
}

// A clock whose time of day the test moves by hand.
struct FakeDay
{
    QTime now;
    LogClock clock{[this] { return now; }};

    void Pass(int msecs) { now = now.addMSecs(msecs); }
};
} // namespace

class TestLogClock : public QObject
{
    Q_OBJECT

private slots:
    void elapsed_data();
    void elapsed();
    void nothingIsDueBeforeStart();
    void firstLineAtFirstTickThenEveryPeriod();
    void closedPeriodCountsAsElapsed();
    void jitteryTicksStillGiveALinePerPeriod();
    void invalidPeriodNeverElapses();
    void closedPortTimeIsAddedAtOnce();
    void runningTimeWraps_data();
    void runningTimeWraps();
    void secondsCountOverMidnight();
};

void TestLogClock::elapsed_data()
{
    QTest::addColumn<QTime>("clock");
    QTest::addColumn<QTime>("now");
    QTest::addColumn<int>("expected");

    QTest::newRow("same day") << At("12:00:00.000") << At("12:00:01.250") << 1250;
    QTest::newRow("over midnight") << At("23:59:59.900") << At("00:00:00.150") << 250;
    QTest::newRow("clock ahead of now wraps")
        << At("12:00:00.001") << At("12:00:00.000") << 24 * 3600 * 1000 - 1;
    QTest::newRow("null clock") << QTime() << At("12:00:00.000") << 0;
}

void TestLogClock::elapsed()
{
    QFETCH(QTime, clock);
    QFETCH(QTime, now);
    const LogClock source([now] { return now; });
    QTEST(source.Elapsed(clock), "expected");
}

void TestLogClock::nothingIsDueBeforeStart()
{
    FakeDay day;
    day.now = At("10:00:00.000");
    QTime intervalClock, logClock, tickClock = day.now;
    for (int tick = 0; tick < 100; ++tick) {
        day.Pass(250);
        QVERIFY(!day.clock.Advance(intervalClock, logClock, tickClock, QTime(0, 0, 1)));
        QCOMPARE(tickClock, day.now);
    }
    QVERIFY(intervalClock.isNull());
    QVERIFY(logClock.isNull());
}

void TestLogClock::firstLineAtFirstTickThenEveryPeriod()
{
    FakeDay day;
    day.now = At("10:00:00.000");
    QTime intervalClock, tickClock, startClock, logClock;
    day.clock.Start(intervalClock, tickClock, startClock, logClock);

    QList<int> dueTicks;
    for (int tick = 1; tick <= 13; ++tick) {
        day.Pass(250);
        if (day.clock.Advance(intervalClock, logClock, tickClock, QTime(0, 0, 1)))
            dueTicks << tick;
    }
    QCOMPARE(dueTicks, QList<int>({1, 5, 9, 13}));
    QCOMPARE(logClock, At("00:00:03.250"));
    QCOMPARE(intervalClock, QTime(0, 0));
}

void TestLogClock::closedPeriodCountsAsElapsed()
{
    FakeDay day;
    day.now = At("10:00:00.000");
    QTime intervalClock(0, 0, 0, 1), logClock(0, 0), tickClock = day.now;
    day.Pass(873);
    QVERIFY(!day.clock.Advance(intervalClock, logClock, tickClock, QTime(0, 0, 1)));
    QCOMPARE(intervalClock, At("00:00:00.874"));
    day.Pass(1);
    QVERIFY(day.clock.Advance(intervalClock, logClock, tickClock, QTime(0, 0, 1)));
    QCOMPARE(intervalClock, QTime(0, 0));
}

void TestLogClock::jitteryTicksStillGiveALinePerPeriod()
{
    // A timer's ticks come a millisecond early or late; here every four add up to 999 ms.
    FakeDay day;
    day.now = At("10:00:00.000");
    QTime intervalClock, tickClock, startClock, logClock;
    day.clock.Start(intervalClock, tickClock, startClock, logClock);
    const int jitter[] = {0, 0, 0, -1};
    int lines = 0;
    for (int tick = 0; tick < 4 * 600; ++tick) {
        day.Pass(250 + jitter[tick % 4]);
        if (day.clock.Advance(intervalClock, logClock, tickClock, QTime(0, 0, 1)))
            ++lines;
    }
    QCOMPARE(lines, 600);
}

void TestLogClock::invalidPeriodNeverElapses()
{
    FakeDay day;
    day.now = At("10:00:00.000");
    QTime intervalClock = day.now, logClock(0, 0), tickClock = day.now;
    day.Pass(250);
    QVERIFY(!day.clock.Advance(intervalClock, logClock, tickClock, QTime()));
    QCOMPARE(intervalClock, At("10:00:00.250"));
}

void TestLogClock::closedPortTimeIsAddedAtOnce()
{
    FakeDay day;
    day.now = At("10:00:00.000");
    QTime intervalClock(0, 0, 0, 500), logClock(0, 5), tickClock = day.now;
    day.Pass(2 * 3600 * 1000);
    QVERIFY(day.clock.Advance(intervalClock, logClock, tickClock, QTime(0, 10)));
    QCOMPARE(logClock, QTime(2, 5));
}

void TestLogClock::runningTimeWraps_data()
{
    QTest::addColumn<int>("tickMsecs");
    QTest::addColumn<int>("ticks");
    QTest::addColumn<int>("timeForm");
    QTest::addColumn<QString>("timeText");

    QTest::newRow("mm:ss before an hour") << 250 << 4 * 3599 << 1 << "59:59";
    QTest::newRow("mm:ss at an hour") << 250 << 4 * 3600 << 1 << "00:00";
    QTest::newRow("hh:mm:ss before a day") << 60000 << 24 * 60 - 1 << 0 << "23:59:00";
    QTest::newRow("hh:mm:ss at a day") << 60000 << 24 * 60 << 0 << "00:00:00";
}

void TestLogClock::runningTimeWraps()
{
    QFETCH(int, tickMsecs);
    QFETCH(int, ticks);
    QFETCH(int, timeForm);

    FakeDay day;
    day.now = At("18:30:00.000");
    QTime intervalClock, tickClock, startClock, logClock;
    day.clock.Start(intervalClock, tickClock, startClock, logClock);
    for (int tick = 0; tick < ticks; ++tick) {
        day.Pass(tickMsecs);
        day.clock.Advance(intervalClock, logClock, tickClock, QTime(0, 0, 1));
    }
    QTEST(LogTimeText(timeForm, logClock, startClock, tickClock), "timeText");
}

void TestLogClock::secondsCountOverMidnight()
{
    FakeDay day;
    day.now = At("23:59:50.000");
    QTime intervalClock, tickClock, startClock, logClock;
    day.clock.Start(intervalClock, tickClock, startClock, logClock);
    for (int tick = 0; tick < 80; ++tick) {
        day.Pass(250);
        day.clock.Advance(intervalClock, logClock, tickClock, QTime(0, 0, 1));
    }
    QCOMPARE(tickClock, At("00:00:10.000"));
    QCOMPARE(LogTimeText(2, logClock, startClock, tickClock), QStringLiteral("-86380"));
    QCOMPARE(logClock, QTime(0, 0, 20));
}

QTEST_APPLESS_MAIN(TestLogClock)
#include "tst_logclock.moc"
