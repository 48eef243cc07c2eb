#include "guard/energycounter.h"

#include <QtTest>

namespace {

// Plays status reads on a counter: "ms V A" with the output on, "ms V A off", or "miss".
EnergyTotals Play(const QString &steps)
{
    EnergyCounter counter;
    for (const QString &step : steps.split(QLatin1Char(','))) {
        const QStringList words = step.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (words.value(0) == QLatin1String("miss")) {
            counter.Missed();
            continue;
        }
        counter.Reading(words.at(0).toLongLong(), words.at(1).toDouble(), words.at(2).toDouble(),
                        words.value(3) != QLatin1String("off"));
    }
    return counter.Totals();
}

} // namespace

// What the counters add from a run of status reads.
class EnergyCounterTest : public QObject
{
    Q_OBJECT

private slots:
    void counts_data();
    void counts();
    void resetKeepsItsTime();
};

void EnergyCounterTest::counts_data()
{
    QTest::addColumn<QString>("steps");
    QTest::addColumn<double>("ampereSeconds");
    QTest::addColumn<double>("joules");
    QTest::addColumn<double>("onSeconds");
    QTest::addColumn<double>("gapSeconds");

    QTest::newRow("one read counts nothing") << "0 12 1" << 0.0 << 0.0 << 0.0 << 0.0;
    QTest::newRow("a constant load") << "0 12 1, 500 12 1, 1000 12 1" << 1.0 << 12.0 << 1.0 << 0.0;
    // (1 + 3) / 2 A for 2 s; (10·1 + 10·3) / 2 W for 2 s.
    QTest::newRow("a ramp by the trapezoid") << "0 10 1, 2000 10 3" << 4.0 << 40.0 << 2.0 << 0.0;
    QTest::newRow("the output off adds nothing")
        << "0 12 1 off, 500 12 1 off" << 0.0 << 0.0 << 0.0 << 0.0;
    QTest::newRow("switched on between two reads: half the interval")
        << "0 12 1 off, 1000 12 2" << 1.0 << 12.0 << 0.5 << 0.0;
    QTest::newRow("a failed read makes the span a gap")
        << "0 12 1, 500 12 1, miss, 1500 12 1, 2000 12 1" << 1.0 << 12.0 << 1.0 << 1.0;
    QTest::newRow("reads too far apart are a gap")
        << "0 12 1, 6000 12 1, 6500 12 1" << 0.5 << 6.0 << 0.5 << 6.0;
    QTest::newRow("a gap with the output off is no gap")
        << "0 12 1 off, miss, 9000 12 1 off" << 0.0 << 0.0 << 0.0 << 0.0;
    QTest::newRow("the fine range's small currents")
        << "0 5 0.0123, 500 5 0.0123" << 0.00615 << 0.03075 << 0.5 << 0.0;
}

void EnergyCounterTest::counts()
{
    QFETCH(QString, steps);
    const EnergyTotals totals = Play(steps);
    QTEST(totals.ampereSeconds, "ampereSeconds");
    QTEST(totals.joules, "joules");
    QTEST(totals.onSeconds, "onSeconds");
    QTEST(totals.gapSeconds, "gapSeconds");
}

void EnergyCounterTest::resetKeepsItsTime()
{
    EnergyCounter counter;
    counter.Reading(0, 12, 1, true);
    counter.Reading(500, 12, 1, true);
    const QDateTime at =
        QDateTime::fromString(QStringLiteral("2026-12-11T10:00:00+03:00"), Qt::ISODate);
    counter.Reset(at);
    QCOMPARE(counter.Totals().ampereSeconds, 0.0);
    QCOMPARE(counter.Totals().resetAt, at);
    QCOMPARE(counter.Totals().resetAt.timeSpec(), Qt::UTC);
    // The read before the reset still pairs with the next one: the reset splits no interval.
    counter.Reading(1000, 12, 1, true);
    QCOMPARE(counter.Totals().ampereSeconds, 0.5);
}

QTEST_APPLESS_MAIN(EnergyCounterTest)
#include "tst_energycounter.moc"
