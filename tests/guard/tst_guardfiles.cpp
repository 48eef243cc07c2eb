#include "guard/counterfile.h"
#include "guard/protectionrecord.h"
#include "guard/protectionsettings.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

namespace {

void Write(const QString &path, const QByteArray &data)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(data);
}

} // namespace

// What the guard keeps on disk: the counters, the protection settings in the store and the
// protection record, and what it makes of damaged copies.
class GuardFilesTest : public QObject
{
    Q_OBJECT

private slots:
    void countersRoundTrip();
    void damagedCountersAreRefused_data();
    void damagedCountersAreRefused();
    void settingsRoundTrip();
    void damagedSettingsReadAsDefaults();
    void recordKeepsItsNewerHalf();

private:
    QTemporaryDir dir;
};

void GuardFilesTest::countersRoundTrip()
{
    const QString path = dir.filePath(QStringLiteral("counters.json"));
    EnergyTotals totals;
    totals.ampereSeconds = 1234.56789012345;
    totals.joules = 0.1 + 0.2;
    totals.onSeconds = 86400.25;
    totals.gapSeconds = 1.5;
    totals.resetAt = QDateTime::fromMSecsSinceEpoch(1781000000123, Qt::UTC);
    QCOMPARE(CounterFile::Save(path, totals), QString());
    const CounterFile::Loaded loaded = CounterFile::Load(path);
    QVERIFY(loaded.totals);
    QCOMPARE(*loaded.totals, totals);
    QVERIFY(!CounterFile::Load(dir.filePath(QStringLiteral("none.json"))).totals);
    QVERIFY(CounterFile::Load(dir.filePath(QStringLiteral("none.json"))).problem.isEmpty());
}

void GuardFilesTest::damagedCountersAreRefused_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("cut short") << QByteArray(R"({"ampereSeconds": 1, "joules": 2, "onSec)");
    QTest::newRow("an array") << QByteArray("[1, 2, 3, 4]");
    QTest::newRow("a count missing")
        << QByteArray(R"({"ampereSeconds":1,"joules":2,"onSeconds":3})");
    QTest::newRow("a count negative")
        << QByteArray(R"({"ampereSeconds":-1,"joules":2,"onSeconds":3,"gapSeconds":0})");
    QTest::newRow("a count as text")
        << QByteArray(R"({"ampereSeconds":"1","joules":2,"onSeconds":3,"gapSeconds":0})");
    QTest::newRow("huge") << QByteArray(100000, ' ');
}

void GuardFilesTest::damagedCountersAreRefused()
{
    QFETCH(QByteArray, content);
    const QString path = dir.filePath(QStringLiteral("damaged.json"));
    Write(path, content);
    const CounterFile::Loaded loaded = CounterFile::Load(path);
    QVERIFY(!loaded.totals);
    QVERIFY(!loaded.problem.isEmpty());
}

void GuardFilesTest::settingsRoundTrip()
{
    QSettings store(dir.filePath(QStringLiteral("round.ini")), QSettings::IniFormat);
    ProtectionSettings settings;
    settings.voltage = {true, 12.5, 0};
    settings.power = {false, 40, 2.5};
    settings.currentCap = 1.25;
    StoreProtectionSettings(store, settings);
    QCOMPARE(LoadProtectionSettings(store), settings);
    settings.currentCap.reset();
    StoreProtectionSettings(store, settings);
    QCOMPARE(LoadProtectionSettings(store), settings);
}

void GuardFilesTest::damagedSettingsReadAsDefaults()
{
    QSettings store(dir.filePath(QStringLiteral("damaged.ini")), QSettings::IniFormat);
    store.setValue(QStringLiteral("ovpEnabled"), true);
    store.setValue(QStringLiteral("ovpLevel"), QStringLiteral("twelve"));
    store.setValue(QStringLiteral("ocpEnabled"), true);
    store.setValue(QStringLiteral("ocpLevel"), -1);
    store.setValue(QStringLiteral("ocpDelay"), QStringLiteral("nan"));
    store.setValue(QStringLiteral("oppEnabled"), true);
    store.setValue(QStringLiteral("oppLevel"), 1e9);
    store.setValue(QStringLiteral("oppDelay"), -3);
    store.setValue(QStringLiteral("voltageCap"), 31);
    store.setValue(QStringLiteral("currentCap"), QStringLiteral("inf"));
    QCOMPARE(LoadProtectionSettings(store), ProtectionSettings());
}

void GuardFilesTest::recordKeepsItsNewerHalf()
{
    const QString path = dir.filePath(QStringLiteral("protection.txt"));
    const Trip trip{TripKind::Voltage, 12.61, 12, 12.61, 1.261};
    const QString line = ProtectionRecord::Line(
        QDateTime::fromString(QStringLiteral("2026-12-11T03:12:45+01:00"), Qt::ISODate), trip);
    QCOMPARE(line, QStringLiteral("2026-12-11T03:12:45+01:00 OVP 12.61 V > 12.00 V (12.61 V, "
                                  "1.2610 A)"));
    QCOMPARE(TripText(trip), QStringLiteral("напряжение 12.61 В > 12.00 В"));
    QCOMPARE(ProtectionRecord::Append(path, line), QString());
    // A record just past its bound, as years of trips would leave it.
    QFile grown(path);
    QVERIFY(grown.open(QIODevice::Append));
    const QByteArray entry = line.toUtf8() + '\n';
    while (grown.size() <= ProtectionRecord::MaxBytes)
        grown.write(entry);
    grown.close();
    QCOMPARE(ProtectionRecord::Append(path, QStringLiteral("last")), QString());
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray kept = file.readAll();
    QVERIFY(kept.size() <= ProtectionRecord::MaxBytes);
    QVERIFY(kept.startsWith(line.toUtf8() + '\n'));
    QVERIFY(kept.endsWith("last\n"));
}

QTEST_GUILESS_MAIN(GuardFilesTest)
#include "tst_guardfiles.moc"
