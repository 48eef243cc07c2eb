#include "guard/tripjudge.h"

#include <QtTest>

namespace {

// Plays readings on a judge and names the reading that tripped, as "3:OVP" (the fourth), or
// "none". A step is "ms V A" (a fresh reading with the output on), "ms V A off", "miss" (a
// failed read) or "clear" (the operator acknowledges).
QString Play(const ProtectionSettings &settings, const QString &steps)
{
    TripJudge judge;
    QStringList trips;
    const QStringList list = steps.split(QLatin1Char(','));
    for (int i = 0; i < list.size(); ++i) {
        const QStringList words = list.at(i).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (words.value(0) == QLatin1String("miss")) {
            judge.Missed();
            continue;
        }
        if (words.value(0) == QLatin1String("clear")) {
            judge.Clear();
            continue;
        }
        const bool on = words.value(3) != QLatin1String("off");
        const std::optional<Trip> trip = judge.Reading(
            words.at(0).toLongLong(), words.at(1).toDouble(), words.at(2).toDouble(), on, settings);
        if (trip) {
            const QString name = trip->kind == TripKind::Voltage   ? QStringLiteral("OVP")
                                 : trip->kind == TripKind::Current ? QStringLiteral("OCP")
                                                                   : QStringLiteral("OPP");
            trips << QStringLiteral("%1:%2").arg(i).arg(name);
        }
    }
    return trips.isEmpty() ? QStringLiteral("none") : trips.join(QLatin1Char(' '));
}

ProtectionSettings Limits(double volts, double amps, double watts, double delaySeconds)
{
    ProtectionSettings settings;
    settings.voltage = {volts > 0, volts, delaySeconds};
    settings.current = {amps > 0, amps, delaySeconds};
    settings.power = {watts > 0, watts, delaySeconds};
    return settings;
}

} // namespace

Q_DECLARE_METATYPE(ProtectionSettings)

// When the readings of a session trip a protection: by level, hold time and freshness.
class TripJudgeTest : public QObject
{
    Q_OBJECT

private slots:
    void trips_data();
    void trips();
};

void TripJudgeTest::trips_data()
{
    QTest::addColumn<ProtectionSettings>("settings");
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("tripped");

    const ProtectionSettings ovp = Limits(12, 0, 0, 0.5);
    QTest::newRow("just under the level") << ovp << "0 12.00 1, 500 12.00 1, 1000 12.00 1"
                                          << "none";
    QTest::newRow("just over: the second read trips") << ovp << "0 12.01 1, 500 12.01 1"
                                                      << "1:OVP";
    QTest::newRow("over for less than the hold time") << ovp << "0 12.5 1, 449 12.5 1, 600 11 1"
                                                      << "none";
    QTest::newRow("a read a little early still ends the hold") << ovp << "0 12.5 1, 450 12.5 1"
                                                               << "1:OVP";
    QTest::newRow("a short hold still wants a second read")
        << Limits(12, 0, 0, 0.05) << "0 12.5 1, 24 12.5 1, 300 12.5 1"
        << "2:OVP";
    QTest::newRow("a read back under restarts the hold")
        << ovp << "0 13 1, 400 11 1, 800 13 1, 1200 13 1, 1300 13 1"
        << "4:OVP";
    QTest::newRow("a failed read restarts the hold") << ovp << "0 13 1, miss, 500 13 1, 1000 13 1"
                                                     << "3:OVP";
    QTest::newRow("a failed read alone never trips") << Limits(12, 0, 0, 0) << "miss, miss"
                                                     << "none";
    QTest::newRow("hold 0: the first fresh reading over trips")
        << Limits(12, 0, 0, 0) << "0 11 1, 250 12.5 1"
        << "1:OVP";
    QTest::newRow("the output off never trips") << Limits(12, 0, 0, 0) << "0 13 1 off, 500 13 1 off"
                                                << "none";
    QTest::newRow("a disabled trip never trips") << Limits(0, 0, 0, 0) << "0 99 99"
                                                 << "none";
    QTest::newRow("over-current") << Limits(0, 1.5, 0, 0.5) << "0 5 1.6, 250 5 1.6, 500 5 1.6"
                                  << "2:OCP";
    QTest::newRow("over-power is volts times amperes")
        << Limits(0, 0, 10, 0) << "0 5 1.99, 500 5 2.01"
        << "1:OPP";
    QTest::newRow("after a trip nothing more until cleared")
        << Limits(12, 0, 0, 0) << "0 13 1, 500 13 1, clear, 1000 13 1"
        << "0:OVP 3:OVP";
    QTest::newRow("a long hold") << Limits(12, 0, 0, 10)
                                 << "0 13 1, 5000 13 1, 9949 13 1, 9950 13 1"
                                 << "3:OVP";
}

void TripJudgeTest::trips()
{
    QFETCH(ProtectionSettings, settings);
    QFETCH(QString, steps);
    QTEST(Play(settings, steps), "tripped");
}

QTEST_APPLESS_MAIN(TripJudgeTest)
#include "tst_tripjudge.moc"
