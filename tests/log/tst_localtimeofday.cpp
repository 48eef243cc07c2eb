#include "log/localtimeofday.h"

#include <QDateTime>
#include <QtTest>

namespace {
qint64 Utc(const char *text)
{
    return QDateTime::fromString(QLatin1String(text), Qt::ISODateWithMs).toMSecsSinceEpoch();
}
} // namespace

class TestLocalTimeOfDay : public QObject
{
    Q_OBJECT

private slots:
    void agreesWithQtAcrossDaylightSavingChanges_data();
    void agreesWithQtAcrossDaylightSavingChanges();
    void convertsOncePerMinute();
    void wrapsAtLocalMidnight_data();
    void wrapsAtLocalMidnight();
};

void TestLocalTimeOfDay::agreesWithQtAcrossDaylightSavingChanges_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<qint64>("change");
    QTest::newRow("Berlin, spring") << QByteArray("Europe/Berlin") << Utc("2026-03-29T01:00:00Z");
    QTest::newRow("Berlin, autumn") << QByteArray("Europe/Berlin") << Utc("2026-10-25T01:00:00Z");
    QTest::newRow("New York, spring")
        << QByteArray("America/New_York") << Utc("2026-03-08T07:00:00Z");
    QTest::newRow("Adelaide, half hour")
        << QByteArray("Australia/Adelaide") << Utc("2026-04-04T16:30:00Z");
}

// Ticks of a quarter second with a little jitter, from two minutes before a change of the zone's
// offset to two minutes after it, give the same time of day as Qt's own conversion.
void TestLocalTimeOfDay::agreesWithQtAcrossDaylightSavingChanges()
{
#ifdef Q_OS_WIN
    QSKIP("Windows takes the local zone from its own settings, not from TZ");
#endif
    QFETCH(QByteArray, zone);
    QFETCH(qint64, change);
    const QByteArray savedZone = qgetenv("TZ");
    const bool hadZone = qEnvironmentVariableIsSet("TZ");
    qputenv("TZ", zone);
    const auto restore = qScopeGuard([&] {
        if (hadZone)
            qputenv("TZ", savedZone);
        else
            qunsetenv("TZ");
    });
    const int before = QDateTime::fromMSecsSinceEpoch(change - 1, Qt::LocalTime).offsetFromUtc();
    const int after = QDateTime::fromMSecsSinceEpoch(change, Qt::LocalTime).offsetFromUtc();
    QVERIFY2(before != after, "the zone is missing from the time-zone database (package tzdata)");

    LocalTimeOfDay time;
    int step = 0;
    for (qint64 t = change - 120000; t < change + 120000; t += 250 + (++step % 7) - 3) {
        const QTime expected = QDateTime::fromMSecsSinceEpoch(t, Qt::LocalTime).time();
        QCOMPARE(time.At(t), expected);
    }
}

void TestLocalTimeOfDay::convertsOncePerMinute()
{
    int conversions = 0;
    LocalTimeOfDay time([&conversions](qint64) {
        ++conversions;
        return 3600;
    });
    const qint64 start = Utc("2026-12-07T10:00:00Z");
    for (qint64 t = start; t < start + 10 * 60000; t += 250)
        time.At(t);
    QCOMPARE(conversions, 10);
}

void TestLocalTimeOfDay::wrapsAtLocalMidnight_data()
{
    QTest::addColumn<int>("offsetSeconds");
    QTest::addColumn<qint64>("utc");
    QTest::addColumn<QTime>("expected");
    QTest::newRow("east, just after")
        << 3 * 3600 << Utc("2026-12-07T21:00:00.500Z") << QTime(0, 0, 0, 500);
    QTest::newRow("east, just before")
        << 3 * 3600 << Utc("2026-12-07T20:59:59.999Z") << QTime(23, 59, 59, 999);
    QTest::newRow("west") << -5 * 3600 << Utc("2026-12-07T02:00:00Z") << QTime(21, 0);
    QTest::newRow("before the epoch") << 0 << qint64(-1) << QTime(23, 59, 59, 999);
}

void TestLocalTimeOfDay::wrapsAtLocalMidnight()
{
    QFETCH(int, offsetSeconds);
    QFETCH(qint64, utc);
    QFETCH(QTime, expected);
    LocalTimeOfDay time([offsetSeconds](qint64) { return offsetSeconds; });
    QCOMPARE(time.At(utc), expected);
}

QTEST_GUILESS_MAIN(TestLocalTimeOfDay)
#include "tst_localtimeofday.moc"
