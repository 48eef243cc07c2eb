#include "ptyclient.h"

#include "sim/converteremulator.h"
#include "sim/loadprofile.h"
#include "sim/simcodec.h"

#include <QtTest>

#include <limits>

namespace {

const double Open = std::numeric_limits<double>::infinity();

} // namespace

// A load that changes over time: the profile itself, and the emulator's readings following it.
class TestLoadProfile : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void resistanceAt_data();
    void resistanceAt();
    void readingsFollowTheProfile();
};

void TestLoadProfile::parse_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<QVector<double>>("ohms"); // empty: refused
    QTest::newRow("three") << "10,22,47" << QVector<double>{10, 22, 47};
    QTest::newRow("spaces and open") << " 2.5, open ,0" << QVector<double>{2.5, Open, 0};
    QTest::newRow("one") << "100" << QVector<double>{100};
    QTest::newRow("empty") << "" << QVector<double>{};
    QTest::newRow("empty entry") << "10,,22" << QVector<double>{};
    QTest::newRow("negative") << "10,-1" << QVector<double>{};
    QTest::newRow("not a number") << "10,x" << QVector<double>{};
    QTest::newRow("nan") << "nan" << QVector<double>{};
    QTest::newRow("semicolons") << "10;22" << QVector<double>{};
}

void TestLoadProfile::parse()
{
    QFETCH(QString, list);
    QFETCH(QVector<double>, ohms);
    const std::optional<LoadProfile> profile = LoadProfile::parse(list, 500, true);
    QCOMPARE(profile.has_value(), !ohms.isEmpty());
    if (profile) {
        QCOMPARE(profile->ohms, ohms);
        QCOMPARE(profile->stepMs, qint64(500));
        QVERIFY(profile->ramp);
    }
}

void TestLoadProfile::resistanceAt_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<bool>("ramp");
    QTest::addColumn<qint64>("atMs");
    QTest::addColumn<double>("ohms");
    // Steps of 1000 ms.
    QTest::newRow("first step") << "10,22,47" << false << qint64(0) << 10.0;
    QTest::newRow("end of the first step") << "10,22,47" << false << qint64(999) << 10.0;
    QTest::newRow("second step") << "10,22,47" << false << qint64(1000) << 22.0;
    QTest::newRow("third step") << "10,22,47" << false << qint64(2500) << 47.0;
    QTest::newRow("cycles") << "10,22,47" << false << qint64(3000) << 10.0;
    QTest::newRow("a day on") << "10,22,47" << false << qint64(86400001) << 10.0;
    QTest::newRow("before the start") << "10,22,47" << false << qint64(-5) << 10.0;
    QTest::newRow("open step") << "10,open" << false << qint64(1200) << Open;
    // Linear in conductance: halfway from 10 to 40 ohm is 1/((0.1 + 0.025) / 2) = 16 ohm.
    QTest::newRow("ramp start") << "10,40" << true << qint64(0) << 10.0;
    QTest::newRow("ramp halfway") << "10,40" << true << qint64(500) << 16.0;
    QTest::newRow("ramp back") << "10,40" << true << qint64(1500) << 16.0;
    QTest::newRow("ramp to open") << "10,open" << true << qint64(500) << 20.0;
    QTest::newRow("ramp from open") << "open,10" << true << qint64(0) << Open;
    QTest::newRow("ramp of one") << "33" << true << qint64(700) << 33.0;
}

void TestLoadProfile::resistanceAt()
{
    QFETCH(QString, list);
    QFETCH(bool, ramp);
    QFETCH(qint64, atMs);
    QFETCH(double, ohms);
    const std::optional<LoadProfile> profile = LoadProfile::parse(list, 1000, ramp);
    QVERIFY(profile);
    const double found = profile->resistanceAt(atMs);
    if (std::isinf(ohms))
        QVERIFY2(std::isinf(found), qPrintable(QString::number(found)));
    else
        QVERIFY2(qAbs(found - ohms) < 1e-9, qPrintable(QString::number(found)));
}

void TestLoadProfile::readingsFollowTheProfile()
{
    ConverterEmulator emulator;
    emulator.setPaced(false);
    QVERIFY(emulator.start());
    PtyClient client;
    QVERIFY(client.open(emulator.serialPath()));
    emulator.setSetpoints({5000, 1000});
    emulator.setOutputOn(true);
    emulator.setLoadProfile(LoadProfile::parse(QStringLiteral("10,1000"), 100, false));
    QCOMPARE(emulator.loadProfile()->ohms, (QVector<double>{10, 1000}));

    // The status current over the line: 500 mA into 10 ohm, 5 mA (50 fine steps) into 1 kohm.
    const auto current = [&client] {
        client.send(SimCodec::requestFrame(0x01, ConverterEmulator::ReadOperation));
        const QByteArray line = client.readLine();
        const auto bytes = SimCodec::fromHex(line.mid(1, line.size() - 2));
        return bytes && bytes->size() == 12
                   ? qint16(quint8(bytes->at(4)) | quint8(bytes->at(5)) << 8)
                   : -1;
    };
    QTRY_COMPARE_WITH_TIMEOUT(current(), qint16(50), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(current(), qint16(500), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(current(), qint16(50), 5000);

    // Ending the profile keeps the load it had reached; a fixed load replaces it.
    emulator.setLoadProfile(std::nullopt);
    QVERIFY(!emulator.loadProfile());
    const double kept = emulator.loadResistance();
    QVERIFY(kept == 10 || kept == 1000);
    emulator.setLoadProfile(LoadProfile::parse(QStringLiteral("10,1000"), 100, false));
    emulator.setLoadResistance(25);
    QVERIFY(!emulator.loadProfile());
    QCOMPARE(current(), qint16(200));
}

QTEST_GUILESS_MAIN(TestLoadProfile)
#include "tst_loadprofile.moc"
