#include "log/logrecorder.h"

#include <QtTest>

namespace {
// The time of day, moved by hand.
struct FakeDay
{
    QTime now{12, 0};
    LogClock clock{[this] { return now; }};
};

LogSettings Settings(int logValue, int addTime = 0, int timeForm = 0)
{
    LogSettings settings;
    settings.logValue = logValue;
    settings.logPeriod = QTime(0, 0, 1);
    settings.addTime = addTime;
    settings.timeForm = timeForm;
    return settings;
}

const OutputStatus Status{1234, 567, 0, 1, 0, 1};
const AdcReadings Adc{12345, 567, 5678, 24000, 0, 2500};
} // namespace

class TestLogRecorder : public QObject
{
    Q_OBJECT

private slots:
    void linesFollowPeriodAndFreshness_data();
    void linesFollowPeriodAndFreshness();
    void entryCarriesTheLineAndItsParts();
};

void TestLogRecorder::linesFollowPeriodAndFreshness_data()
{
    QTest::addColumn<int>("logValue");
    // One letter per 250 ms tick, the tick's read: S/s status read good/failed, A/a ADC read.
    QTest::addColumn<QString>("reads");
    // One character per tick: L a line, - a period without one, . none due.
    QTest::addColumn<QString>("lines");

    QTest::newRow("display, every read good") << 0 << "SASASASAS"
                                              << "L...L...L";
    QTest::newRow("display, a failed read skips its period") << 0 << "SASAsASAS"
                                                             << "L...-...L";
    QTest::newRow("display, failed ADC reads do not matter") << 0 << "SaSaSaSaS"
                                                             << "L...L...L";
    QTest::newRow("ADC, nothing fresh at the first tick") << 1 << "SASASASAS"
                                                          << "-...L...L";
    QTest::newRow("ADC, failed read") << 1 << "SASasASAS"
                                      << "-...-...L";
}

void TestLogRecorder::linesFollowPeriodAndFreshness()
{
    QFETCH(int, logValue);
    QFETCH(QString, reads);
    FakeDay day;
    LogRecorder recorder(Settings(logValue), day.clock);
    recorder.Start();
    QString lines;
    for (const QChar read : reads) {
        day.now = day.now.addMSecs(250);
        if (read.toLower() == QLatin1Char('s'))
            recorder.StatusRead(read.isUpper());
        else
            recorder.AdcRead(read.isUpper());
        const LogStepResult step = recorder.Step(Status, Adc);
        QVERIFY(step.periodDue || !step.entry);
        lines += step.entry       ? QLatin1Char('L')
                 : step.periodDue ? QLatin1Char('-')
                                  : QLatin1Char('.');
    }
    QTEST(lines, "lines");
}

void TestLogRecorder::entryCarriesTheLineAndItsParts()
{
    FakeDay day;
    LogRecorder recorder(Settings(0, 1, 0), day.clock);
    QVERIFY(!recorder.Step(Status, Adc).periodDue); // not started
    recorder.Start();
    std::optional<LogEntry> entry;
    for (int tick = 0; tick < 5; ++tick) {
        day.now = day.now.addMSecs(250);
        recorder.StatusRead(true);
        entry = recorder.Step(Status, Adc).entry;
    }
    QVERIFY(entry);
    QCOMPARE(entry->sample.voltage, qint64(12340));
    QCOMPARE(entry->sample.current, qint64(5670));
    QCOMPARE(entry->timeText, QStringLiteral("00:00:01"));
    QCOMPARE(entry->line, QStringLiteral("00:00:01 12.340 0.5670\n"));
}

QTEST_GUILESS_MAIN(TestLogRecorder)
#include "tst_logrecorder.moc"
