#include "sim/commandlineoptions.h"
#include "sim/converteremulator.h"

#include <QCommandLineParser>
#include <QtTest>

#include <cmath>
#include <memory>

// The emulator program's command line, parsed and applied to an emulator that is not started.
class TestCommandLineOptions : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void liveValuesFromTheStart();
    void defaultsLeaveTheModelAlone();
    void programSettings();
    void loadProfile();
    void badValuesAreRefused_data();
    void badValuesAreRefused();

private:
    // Parses and applies; the error text, empty on success.
    QString applied(const QStringList &arguments);

    std::unique_ptr<ConverterEmulator> emulator;
    CommandLineOptions::Program program;
};

void TestCommandLineOptions::init()
{
    emulator = std::make_unique<ConverterEmulator>();
    program = {};
}

QString TestCommandLineOptions::applied(const QStringList &arguments)
{
    QCommandLineParser parser;
    CommandLineOptions::addTo(parser);
    if (!parser.parse(QStringList{"vornex-sim"} + arguments))
        return parser.errorText();
    QString error;
    return CommandLineOptions::apply(parser, *emulator, program, &error) ? QString() : error;
}

void TestCommandLineOptions::liveValuesFromTheStart()
{
    QCOMPARE(applied({"--output-on", "--voltage", "12000", "--current", "1000", "--load", "22"}),
             QString());
    QVERIFY(emulator->outputOn());
    // 12 V into 22 ohm: 545 mA, below the limit, so constant voltage.
    const OutputStatus status = emulator->status();
    QCOMPARE(status.voltage, 1200);
    QCOMPARE(status.current, 545);
    QCOMPARE(status.cvMode, 1);
    QCOMPARE(status.outputOn, 1);
}

void TestCommandLineOptions::defaultsLeaveTheModelAlone()
{
    QCOMPARE(applied({}), QString());
    QVERIFY(!emulator->outputOn());
    QCOMPARE(emulator->setpoints().voltage, 5000);
    QCOMPARE(emulator->setpoints().current, 1000);
    QCOMPARE(emulator->loadResistance(), 10.0);
    QVERIFY(emulator->paced());
    QVERIFY(emulator->lineCheck());
    QCOMPARE(emulator->faults().nak, false);
}

void TestCommandLineOptions::programSettings()
{
    QCOMPARE(
        applied({"--link", "/tmp/ttyX", "--quiet", "--hangup-after", "3", "--return-after", "2",
                 "--no-pace", "--no-line-check", "--nak", "--split", "4", "--overvoltage", "500"}),
        QString());
    QCOMPARE(program.link, QString("/tmp/ttyX"));
    QVERIFY(program.quiet);
    QCOMPARE(program.hangUpAfterS, 3);
    QCOMPARE(program.returnAfterS, 2);
    QVERIFY(!emulator->paced());
    QVERIFY(!emulator->lineCheck());
    QVERIFY(emulator->faults().nak);
    QCOMPARE(emulator->faults().splitSize, 4);
    QCOMPARE(emulator->faults().overvoltageMv, 500);
}

void TestCommandLineOptions::loadProfile()
{
    // As tools/run.sh passes --load, the profile overrides it.
    // Steps long enough that the first one still holds when it is looked at, however slow the
    // build.
    QCOMPARE(applied({"--load", "22", "--load-profile", "10,open,47", "--load-step", "600.5"}),
             QString());
    const std::optional<LoadProfile> profile = emulator->loadProfile();
    QVERIFY(profile);
    QCOMPARE(profile->ohms.size(), 3);
    QVERIFY(std::isinf(profile->ohms.at(1)));
    QCOMPARE(profile->stepMs, qint64(600500));
    QVERIFY(!profile->ramp);
    QCOMPARE(emulator->loadResistance(), 10.0);

    init();
    QCOMPARE(applied({"--load-profile", "5,6", "--load-ramp"}), QString());
    QCOMPARE(emulator->loadProfile()->stepMs, qint64(30000));
    QVERIFY(emulator->loadProfile()->ramp);
}

void TestCommandLineOptions::badValuesAreRefused_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("named");
    QTest::newRow("voltage too high") << QStringList{"--voltage", "70000"} << "--voltage";
    QTest::newRow("current too high") << QStringList{"--current", "40000"} << "--current";
    QTest::newRow("overvoltage too high")
        << QStringList{"--overvoltage", "70000"} << "--overvoltage";
    QTest::newRow("negative delay") << QStringList{"--delay", "-5"} << "--delay";
    QTest::newRow("not a number") << QStringList{"--input", "lots"} << "--input";
    QTest::newRow("seconds past an int")
        << QStringList{"--return-after", "3000000"} << "--return-after";
    QTest::newRow("negative load") << QStringList{"--load", "-1"} << "--load";
    QTest::newRow("load not a number") << QStringList{"--load", "nan"} << "--load";
    QTest::newRow("profile entry") << QStringList{"--load-profile", "10,x"} << "--load-profile";
    QTest::newRow("zero step") << QStringList{"--load-profile", "10,22", "--load-step", "0"}
                               << "--load-step";
    QTest::newRow("ramp without profile") << QStringList{"--load-ramp"} << "--load-profile";
}

void TestCommandLineOptions::badValuesAreRefused()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, named);
    // A bad value anywhere leaves the emulator as it was.
    const QString error = applied(QStringList{"--output-on", "--voltage", "9000"} + arguments);
    QVERIFY2(error.contains(named), qPrintable(error));
    QVERIFY(!emulator->outputOn());
    QCOMPARE(emulator->setpoints().voltage, 5000);
    QVERIFY(!emulator->loadProfile());
}

QTEST_GUILESS_MAIN(TestCommandLineOptions)
#include "tst_commandlineoptions.moc"
