#include "log/logline.h"

#include <QLocale>
#include <QtTest>

#include <limits>

Q_DECLARE_METATYPE(LogSettings)
Q_DECLARE_METATYPE(OutputStatus)
Q_DECLARE_METATYPE(AdcReadings)

class TestLogLine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void line_data();
    void line();
    void takeOnlyFromFreshSource_data();
    void takeOnlyFromFreshSource();
};

void TestLogLine::initTestCase()
{
    // A locale with a decimal comma must not leak into the numbers.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
}

namespace {
OutputStatus Status(qint32 voltage, qint32 current, qint32 currentRange)
{
    OutputStatus status;
    status.voltage = voltage;
    status.current = current;
    status.currentRange = currentRange;
    return status;
}

AdcReadings Adc(qint32 sdadcVoltage, qint32 sdadcCurrent, qint32 fineCurrent)
{
    AdcReadings adc;
    adc.sdadcVoltage = sdadcVoltage;
    adc.sdadcCurrent = sdadcCurrent;
    adc.fineCurrent = fineCurrent;
    return adc;
}

LogSettings Settings(int logValue, int commeDot, int addTime, int timeForm)
{
    LogSettings settings;
    settings.logValue = logValue;
    settings.commeDot = commeDot;
    settings.logPeriod = QTime(0, 0, 1);
    settings.timeForm = timeForm;
    settings.addTime = addTime;
    return settings;
}

QTime At(const char *text)
{
    return QTime::fromString(QLatin1String(text), QStringLiteral("hh:mm:ss.zzz"));
}
} // namespace

void TestLogLine::line_data()
{
    QTest::addColumn<LogSettings>("settings");
    QTest::addColumn<OutputStatus>("status");
    QTest::addColumn<AdcReadings>("adc");
    QTest::addColumn<QTime>("logClock");
    QTest::addColumn<QTime>("startClock");
    QTest::addColumn<QTime>("tickClock");
    QTest::addColumn<QString>("expected");

    const OutputStatus first = Status(1234, 567, 0);
    const AdcReadings adc = Adc(12345, 567, 5678);
    const QTime none;

    QTest::newRow("display, point") << Settings(0, 0, 0, 0) << first << AdcReadings() << none
                                    << none << none << "12.340 0.5670\n";
    QTest::newRow("display, fine range")
        << Settings(0, 0, 0, 0) << Status(1234, 567, 1) << AdcReadings() << none << none << none
        << "12.340 0.0567\n";
    QTest::newRow("display, comma") << Settings(0, 1, 0, 0) << first << AdcReadings() << none
                                    << none << none << "12,340 0,5670\n";
    QTest::newRow("ADC") << Settings(1, 0, 0, 0) << Status(0, 0, 0) << adc << none << none << none
                         << "12.345 0.5670\n";
    QTest::newRow("ADC, fine range from status") << Settings(1, 0, 0, 0) << Status(0, 0, 1) << adc
                                                 << none << none << none << "12.345 0.5678\n";
    QTest::newRow("no item selected reads ADC") << Settings(-1, 0, 0, 0) << Status(0, 0, 0) << adc
                                                << none << none << none << "12.345 0.5670\n";
    QTest::newRow("form 0") << Settings(0, 0, 1, 0) << first << AdcReadings() << At("01:02:03.400")
                            << none << none << "01:02:03 12.340 0.5670\n";
    QTest::newRow("form 1") << Settings(0, 0, 1, 1) << first << AdcReadings() << At("01:02:03.400")
                            << none << none << "02:03 12.340 0.5670\n";
    QTest::newRow("form 2") << Settings(0, 0, 1, 2) << first << AdcReadings() << none
                            << At("14:00:00.900") << At("14:01:05.100") << "65 12.340 0.5670\n";
    QTest::newRow("form 2, comma keeps whole seconds")
        << Settings(0, 1, 1, 2) << first << AdcReadings() << none << At("14:00:00.900")
        << At("14:01:05.100") << "65 12,340 0,5670\n";
    QTest::newRow("form 2 over midnight turns negative")
        << Settings(0, 0, 1, 2) << first << AdcReadings() << none << At("23:59:50.000")
        << At("00:00:10.000") << "-86380 12.340 0.5670\n";
    QTest::newRow("form 3, comma keeps colons")
        << Settings(0, 1, 1, 3) << first << AdcReadings() << none << none << At("14:01:05.100")
        << "14:01:05 12,340 0,5670\n";
    QTest::newRow("time form past the list")
        << Settings(0, 0, 1, 4) << first << AdcReadings() << At("01:02:03.400") << none
        << At("14:01:05.100") << " 12.340 0.5670\n";
    QTest::newRow("no time form selected")
        << Settings(0, 0, 1, -1) << first << AdcReadings() << At("01:02:03.400") << none << none
        << " 12.340 0.5670\n";
    QTest::newRow("time form ignored without addTime")
        << Settings(0, 0, 0, 3) << first << AdcReadings() << none << none << At("14:01:05.100")
        << "12.340 0.5670\n";
    QTest::newRow("negative current") << Settings(0, 0, 0, 0) << Status(0, -5, 0) << AdcReadings()
                                      << none << none << none << "0.000 -0.0050\n";
    QTest::newRow("largest record values do not overflow")
        << Settings(0, 0, 0, 0)
        << Status(std::numeric_limits<qint32>::max(), std::numeric_limits<qint32>::min(), 0)
        << AdcReadings() << none << none << none << "21474836.470 -2147483.6480\n";
}

void TestLogLine::line()
{
    QFETCH(LogSettings, settings);
    QFETCH(OutputStatus, status);
    QFETCH(AdcReadings, adc);
    QFETCH(QTime, logClock);
    QFETCH(QTime, startClock);
    QFETCH(QTime, tickClock);
    QFETCH(QString, expected);

    bool statusFresh = true;
    bool adcFresh = true;
    const std::optional<LogSample> sample =
        TakeLogSample(settings.logValue, status, adc, statusFresh, adcFresh);
    QVERIFY(sample.has_value());
    QCOMPARE(LogLine(settings, *sample, logClock, startClock, tickClock), expected);
}

void TestLogLine::takeOnlyFromFreshSource_data()
{
    QTest::addColumn<int>("logValue");
    QTest::addColumn<bool>("statusFresh");
    QTest::addColumn<bool>("adcFresh");
    QTest::addColumn<bool>("taken");
    QTest::addColumn<bool>("statusFreshAfter");
    QTest::addColumn<bool>("adcFreshAfter");

    QTest::newRow("display fresh") << 0 << true << true << true << false << true;
    QTest::newRow("display stale") << 0 << false << true << false << false << true;
    QTest::newRow("ADC fresh") << 1 << true << true << true << true << false;
    QTest::newRow("ADC stale") << 1 << true << false << false << true << false;
    QTest::newRow("none selected uses ADC") << -1 << true << true << true << true << false;
}

void TestLogLine::takeOnlyFromFreshSource()
{
    QFETCH(int, logValue);
    QFETCH(bool, statusFresh);
    QFETCH(bool, adcFresh);

    const bool taken =
        TakeLogSample(logValue, Status(1, 1, 0), Adc(1, 1, 1), statusFresh, adcFresh).has_value();
    QTEST(taken, "taken");
    QTEST(statusFresh, "statusFreshAfter");
    QTEST(adcFresh, "adcFreshAfter");
}

QTEST_APPLESS_MAIN(TestLogLine)
#include "tst_logline.moc"
