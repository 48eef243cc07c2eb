#include "cli/blockfile.h"
#include "cli/portproblem.h"
#include "guard/counterfile.h"
#include "guard/deviceguard.h"
#include "guard/protectionsettings.h"
#include "remote/scpiserver.h"
#include "tests/support/emulatedsession.h"
#include "tests/support/requestcount.h"
#include "tests/support/wire.h"

#include <QJsonDocument>
#include <QLockFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSerialPort>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

struct ToolRun
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

const OutputStatus FixedStatus{1234, 567, 0, 1, 0, 1};
const AdcReadings FixedAdc{12345, 567, 5678, 24000, 0, 2500};

const CalibrationBlock DeviceCalibration{1010, 990, 1020, 980, 1000, -5, 6, -7, 8, 0, 3};
const CalibrationBlock NewCalibration{1100, 900, 1200, 800, 1000, 200, -200, 10, -10, 0, 10};

QByteArray WriteData(const QVector<EmulatorRequest> &requests, quint8 reg)
{
    for (const EmulatorRequest &request : requests) {
        if (request.parsed && request.registerCode == reg && request.operationCode == Wire::Write)
            return request.data.toHex().toUpper();
    }
    return QByteArray();
}

QByteArray JsonText(const QJsonObject &object)
{
    return QJsonDocument(object).toJson();
}

// A panel's SCPI server as vornexctl meets it on the wire, for what the panel in the test does
// not serve: queries answered from a table, commands given errors from another, SYST:ERR? from
// the queue, and an unknown query, as SCPI has it, left unanswered with -113 queued.
class StandInPanel : public QObject
{
public:
    QMap<QByteArray, QByteArray> answers;
    QMap<QByteArray, QByteArray> errors; // a line's error entry, queued when it arrives
    QByteArrayList lines;                // every line received, in order

    bool Listen()
    {
        connect(&server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = server.nextPendingConnection())
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { Serve(socket); });
        });
        return server.listen(QHostAddress::LocalHost);
    }
    QString Address() const { return QStringLiteral("127.0.0.1:%1").arg(server.serverPort()); }

private:
    void Serve(QTcpSocket *socket)
    {
        while (socket->canReadLine()) {
            const QByteArray line = socket->readLine().trimmed();
            lines << line;
            if (errors.contains(line))
                queue << errors.value(line);
            if (line == "SYST:ERR?")
                socket->write((queue.isEmpty() ? QByteArray("0,\"No error\"") : queue.takeFirst()) +
                              '\n');
            else if (answers.contains(line))
                socket->write(answers.value(line) + '\n');
            else if (line.endsWith('?'))
                queue << "-113,\"Undefined header\"";
        }
    }

    QTcpServer server;
    QByteArrayList queue;
};

} // namespace

using Setup = std::function<void(ConverterEmulator &)>;
Q_DECLARE_METATYPE(Setup)

// The real vornexctl program as a child process, against the converter emulator running in this
// process on a pseudo-terminal.
class VornexctlTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void readings_data();
    void readings();
    void writes_data();
    void writes();
    void failedExchanges_data();
    void failedExchanges();
    void calibrationBackupBeforeWrite();
    void calibrationNotWrittenWithoutBackup();
    void badBlockFilesSendNothing_data();
    void badBlockFilesSendNothing();
    void userParamsWriteSendsNoLifeCounter();
    void blocksRead();
    void logLines_data();
    void logLines();
    void logLineArrivesAsItIsWritten();
    void logGoesOnThroughSilence();
    void portHeldByThePanelIsBusy();
    void portProblems();
    void helpAndUsage_data();
    void helpAndUsage();
    void traceGoesToStandardError();
    void viaPanelReadings_data();
    void viaPanelReadings();
    void viaPanelWrites_data();
    void viaPanelWrites();
    void viaPanelFailures_data();
    void viaPanelFailures();
    void viaLogGoesOnThroughSilence();
    void viaWithoutPanel();
    void countersFromThePanelsFile_data();
    void countersFromThePanelsFile();
    void countersWithoutAFile();
    void damagedCounterFile();
    void countersResetRefusedWhileThePanelKeepsThem();
    void countersResetWritesZeros();
    void countersResetRefusedWhileAPanelsGuardRuns();
    void viaCounters_data();
    void viaCounters();
    void viaCountersReset();
    void viaCountersFromAPanelWithout();
    void setpointsAboveTheCapsSendNothing_data();
    void setpointsAboveTheCapsSendNothing();
    void viaCapRefusedByThePanel();
    void viaThePanelsCounters();
    void viaThePanelsCountersReset();
    void viaThePanelsCap();

private:
    ToolRun Run(const QStringList &arguments, const QProcessEnvironment &extra = {});
    QProcessEnvironment Environment(const QProcessEnvironment &extra) const;
    int CountFor(quint8 reg, quint8 operation) const
    {
        return ::CountFor(rig->emulator, reg, operation);
    }
    QString StartPanel(bool waitForReadings);
    // The panel's own folder and store, which its guard takes at StartPanel.
    QString PanelGuardFolder() const { return home->filePath(QStringLiteral("panel-data")); }
    QString PanelStorePath() const { return home->filePath(QStringLiteral("panel.conf")); }
    // The panel's data folder as vornexctl finds it in the home it is given.
    QString PanelFolder() const { return home->filePath(QStringLiteral("data/vornexcontrol")); }
    QString CounterPath() const
    {
        return QDir(PanelFolder()).filePath(DeviceGuard::CounterFileName());
    }
    // The operator's caps in the settings store vornexctl opens, as the panel stores them.
    void StoreCaps(std::optional<double> voltageCap, std::optional<double> currentCap);

    // The session is the panel's, opened only by the tests that go through a panel.
    std::unique_ptr<EmulatedSession> rig;
    QString port;
    // vornexctl's home: its XDG_DATA_HOME, XDG_CONFIG_HOME and HOME, a fresh one each test.
    std::unique_ptr<QTemporaryDir> home;
    std::unique_ptr<QSettings> panelStore;
    std::unique_ptr<DeviceGuard> panelGuard;
    std::unique_ptr<ScpiServer> panelServer;
};

void VornexctlTest::initTestCase()
{
    // QProcess::finished carries it; the spy needs to know the type.
    qRegisterMetaType<QProcess::ExitStatus>();
}

void VornexctlTest::init()
{
    home = std::make_unique<QTemporaryDir>();
    QVERIFY(home->isValid());
    rig = std::make_unique<EmulatedSession>();
    QString error;
    QVERIFY2(rig->Start(&error), qPrintable(error));
    port = rig->emulator.serialPath();
    rig->emulator.setFixedStatus(FixedStatus);
    rig->emulator.setFixedAdc(FixedAdc);
    rig->emulator.setCalibration(DeviceCalibration);
}

void VornexctlTest::cleanup()
{
    panelServer.reset();
    panelGuard.reset();
    panelStore.reset();
    rig.reset();
    home.reset();
}

QProcessEnvironment VornexctlTest::Environment(const QProcessEnvironment &extra) const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("VORNEX_PORT"));
    environment.remove(QStringLiteral("VORNEX_EXTRA_PORTS"));
    // Neither the user's settings (caps) nor the user's panel folder (counters) reach a test.
    environment.insert(QStringLiteral("HOME"), home->path());
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home->filePath(QStringLiteral("data")));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home->filePath(QStringLiteral("config")));
    environment.insert(extra);
    return environment;
}

// Runs vornexctl to its end; the emulator is served by the event loop meanwhile.
ToolRun VornexctlTest::Run(const QStringList &arguments, const QProcessEnvironment &extra)
{
    QProcess process;
    process.setProcessEnvironment(Environment(extra));
    QSignalSpy finished(&process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished));
    process.start(QStringLiteral(VORNEXCTL_PATH), arguments);
    ToolRun run;
    if (!finished.wait(60000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

void VornexctlTest::readings_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("out");
    QTest::newRow("status") << QStringList{"status"}
                            << QByteArray("voltage 12.34 V\ncurrent 0.567 A\ncv on\ncc off\n"
                                          "output on\nfineRange off\n");
    QTest::newRow("status JSON")
        << QStringList{"--json", "status"}
        << QByteArray("{\"cc\":false,\"current\":0.567,\"cv\":true,\"fineRange\":false,"
                      "\"output\":true,\"voltage\":12.34}\n");
    QTest::newRow("adc") << QStringList{"adc"}
                         << QByteArray("sdadcVoltage 12.345 V\nsdadcCurrent 0.567 A\n"
                                       "fineCurrent 0.5678 A\ninputVoltage 24.000 V\n"
                                       "referenceVoltage 2.500 V\n");
    QTest::newRow("setpoints") << QStringList{"setpoints"}
                               << QByteArray("voltage 5.000 V\ncurrent 1.000 A\n");
    QTest::newRow("setpoints JSON")
        << QStringList{"setpoints", "--json"} << QByteArray("{\"current\":1,\"voltage\":5}\n");
}

void VornexctlTest::readings()
{
    QFETCH(QStringList, arguments);
    const ToolRun run = Run(arguments << "--port" << port);
    QCOMPARE(run.err, QByteArray());
    QCOMPARE(run.exitCode, 0);
    QTEST(run.out, "out");
}

void VornexctlTest::writes_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<int>("reg");
    QTest::addColumn<QByteArray>("data");
    QTest::newRow("set") << QStringList{"set", "12", "1.5"}
                         << QByteArray("voltage 12.000 V\ncurrent 1.500 A\n")
                         << int(Wire::Setpoints) << QByteArray("E02EDC05");
    QTest::newRow("set smallest") << QStringList{"set", "0.01", "0.005"}
                                  << QByteArray("voltage 0.010 V\ncurrent 0.005 A\n")
                                  << int(Wire::Setpoints) << QByteArray("0A000500");
    QTest::newRow("on") << QStringList{"on"} << QByteArray("output on\n") << int(Wire::OutputSwitch)
                        << QByteArray("9A1B");
    QTest::newRow("off JSON") << QStringList{"off", "--json"} << QByteArray("{\"output\":false}\n")
                              << int(Wire::OutputSwitch) << QByteArray("0000");
}

void VornexctlTest::writes()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, reg);
    rig->emulator.setOutputOn(true);
    const ToolRun run = Run(arguments << "--port" << port);
    QCOMPARE(run.err, QByteArray());
    QCOMPARE(run.exitCode, 0);
    QTEST(run.out, "out");
    QCOMPARE(CountFor(quint8(reg), Wire::Write), 1);
    QTEST(WriteData(rig->emulator.requests(), quint8(reg)), "data");
}

void VornexctlTest::failedExchanges_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<int>("reg");
    QTest::addColumn<int>("operation");
    QTest::addColumn<int>("requests");
    QTest::addColumn<QString>("message");
    const QString write = QStringLiteral("Ошибка записи: преобразователь не отвечает (4 попытки)");
    const QString refused = QStringLiteral("Ошибка записи: неверный ответ преобразователя");
    QTest::newRow("set, silent") << QStringList{"set", "12", "1.5"} << "silent" << 4 << 0x03 << 0x11
                                 << 4 << write;
    QTest::newRow("on, silent") << QStringList{"on"} << "silent" << 4 << int(Wire::OutputSwitch)
                                << int(Wire::Write) << 4 << write;
    QTest::newRow("set, NAK") << QStringList{"set", "12", "1.5"} << "nak" << 5
                              << int(Wire::Setpoints) << int(Wire::Write) << 4
                              << refused + QStringLiteral(" (4 попытки)");
    QTest::newRow("off, NAK") << QStringList{"off"} << "nak" << 5 << int(Wire::OutputSwitch)
                              << int(Wire::Write) << 4 << refused;
    QTest::newRow("user set, NAK") << QStringList{"user", "set", "USERFILE"} << "nak" << 5
                                   << int(Wire::UserParams) << int(Wire::Write) << 1 << refused;
    QTest::newRow("status, silent")
        << QStringList{"status"} << "silent" << 4 << int(Wire::Status) << int(Wire::Read) << 2
        << "Ошибка чтения: преобразователь не отвечает";
    QTest::newRow("status, bad CRC")
        << QStringList{"status"} << "bad-crc" << 5 << int(Wire::Status) << int(Wire::Read) << 1
        << "Ошибка чтения: неверный ответ преобразователя";
    QTest::newRow("setpoints, bad CRC")
        << QStringList{"setpoints"} << "bad-crc" << 5 << int(Wire::Setpoints) << int(Wire::Read)
        << 1 << "Ошибка чтения";
    QTest::newRow("calibration get, silent")
        << QStringList{"calibration", "get"} << "silent" << 4 << int(Wire::Calibration)
        << int(Wire::Read) << 2 << "Ошибка чтения";
    QTest::newRow("user get, bad CRC")
        << QStringList{"user", "get", "--json"} << "bad-crc" << 5 << int(Wire::UserParams)
        << int(Wire::Read) << 1 << "\"error\":\"bad-reply\"";
}

void VornexctlTest::failedExchanges()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, fault);
    QFETCH(int, reg);
    QFETCH(int, operation);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString userFile = dir.filePath("user.json");
    QString problem;
    QVERIFY(WriteJsonFile(userFile, UserParamsToJson(rig->emulator.userParams()), problem));
    arguments.replaceInStrings(QStringLiteral("USERFILE"), userFile);

    FaultSettings faults;
    faults.silent = fault == QLatin1String("silent");
    faults.nak = fault == QLatin1String("nak");
    faults.badCrc = fault == QLatin1String("bad-crc");
    rig->emulator.setFaults(faults);
    const ToolRun run = Run(arguments << "--port" << port);
    QTEST(run.exitCode, "exitCode");
    QTEST(CountFor(quint8(reg), quint8(operation)), "requests");
    QVERIFY2(QString::fromUtf8(run.err).contains(message), run.err.constData());
    QCOMPARE(run.out, QByteArray());
}

void VornexctlTest::calibrationBackupBeforeWrite()
{
    QTemporaryDir dir;
    const QString file = dir.filePath("cal.json");
    QString problem;
    QVERIFY(WriteJsonFile(file, CalibrationToJson(NewCalibration), problem));

    const ToolRun run = Run({"--port", port, "calibration", "set", file});
    QCOMPARE(run.err, QByteArray());
    QCOMPARE(run.exitCode, 0);
    const QStringList backups = QDir(dir.path()).entryList({"cal.backup-*.json"});
    QCOMPARE(backups.size(), 1);
    QVERIFY2(
        QRegularExpression("^cal\\.backup-\\d{8}-\\d{6}\\.json$").match(backups.first()).hasMatch(),
        qPrintable(backups.first()));
    const QString backup = dir.filePath(backups.first());
    QCOMPARE(run.out, "backup " + backup.toUtf8() + "\nwritten calibration\n");
    QCOMPARE(JsonText(ReadJsonObjectFile(backup, problem).value_or(QJsonObject())),
             JsonText(CalibrationToJson(DeviceCalibration)));
    QCOMPARE(JsonText(CalibrationToJson(rig->emulator.calibration())),
             JsonText(CalibrationToJson(NewCalibration)));

    QStringList calibrationRequests;
    for (const EmulatorRequest &request : rig->emulator.requests()) {
        if (request.registerCode == Wire::Calibration)
            calibrationRequests << QString::number(request.operationCode, 16);
    }
    QCOMPARE(calibrationRequests, (QStringList{"1", "11"}));
}

void VornexctlTest::calibrationNotWrittenWithoutBackup()
{
    QTemporaryDir dir;
    const QString file = dir.filePath("cal.json");
    QString problem;
    QVERIFY(WriteJsonFile(file, CalibrationToJson(NewCalibration), problem));
    FaultSettings faults;
    faults.badCrc = true;
    rig->emulator.setFaults(faults);

    const ToolRun run = Run({"--port", port, "calibration", "set", file});
    QCOMPARE(run.exitCode, 5);
    QVERIFY2(QString::fromUtf8(run.err).contains("без резервной копии калибровка не записывается"),
             run.err.constData());
    QCOMPARE(CountFor(Wire::Calibration, Wire::Read), 1);
    QCOMPARE(CountFor(Wire::Calibration, Wire::Write), 0);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"cal.json"});
}

void VornexctlTest::badBlockFilesSendNothing_data()
{
    QTest::addColumn<QString>("block");
    QTest::addColumn<QByteArray>("text"); // empty: no file at all
    QTest::addColumn<QString>("message");
    const QByteArray calibration = JsonText(CalibrationToJson(NewCalibration));
    QByteArray missing = calibration;
    missing.replace("\"rout\": 10", "\"rou\": 10");
    QByteArray mistyped = calibration;
    mistyped.replace("\"rout\": 10", "\"rout\": \"10\"");
    QByteArray outside = calibration;
    outside.replace("\"rout\": 10", "\"rout\": 11");
    QTest::newRow("missing and extra field")
        << "calibration" << missing << "нет поля «rout»; лишнее поле «rou»; ничего не отправлено";
    QTest::newRow("mistyped field")
        << "calibration" << mistyped << "поле «rout»: ожидается целое число, а не строка";
    QTest::newRow("beyond its box")
        << "calibration" << outside << "поле «rout» = 11 вне диапазона от 0 до 10";
    QTest::newRow("not JSON") << "calibration" << QByteArray("{\"rout\": 1,") << "неверный JSON";
    QTest::newRow("no file") << "calibration" << QByteArray() << "не найден";
    QTest::newRow("user parameters, missing life counter")
        << "user" << JsonText(QJsonObject{{"nvpStatus", 1}}) << "нет поля «lifeCounter»";
}

void VornexctlTest::badBlockFilesSendNothing()
{
    QFETCH(QString, block);
    QFETCH(QByteArray, text);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString file = dir.filePath("block.json");
    if (!text.isEmpty()) {
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(text);
    }
    const ToolRun run = Run({"--port", port, block, "set", file});
    QCOMPARE(run.exitCode, 6);
    QVERIFY2(QString::fromUtf8(run.err).contains(message), run.err.constData());
    QCOMPARE(rig->emulator.requests().size(), 0);
    QCOMPARE(run.out, QByteArray());
}

void VornexctlTest::userParamsWriteSendsNoLifeCounter()
{
    UserParamBlock block = rig->emulator.userParams();
    block.lifeCounter = 1234;
    block.fanDelay = 30;
    QTemporaryDir dir;
    const QString file = dir.filePath("user.json");
    QString problem;
    QVERIFY(WriteJsonFile(file, UserParamsToJson(block), problem));
    const ToolRun run = Run({"--port", port, "--json", "user", "set", file});
    QCOMPARE(run.err, QByteArray());
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, QByteArray("{\"written\":\"user\"}\n"));
    QCOMPARE(WriteData(rig->emulator.requests(), 0xAB).mid(4, 4), QByteArray("0000"));
    QCOMPARE(rig->emulator.userParams().fanDelay, 30);
}

void VornexctlTest::blocksRead()
{
    QTemporaryDir dir;
    const QString file = dir.filePath("cal.json");
    ToolRun run = Run({"--port", port, "calibration", "get", file});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, "saved " + file.toUtf8() + "\n");
    QString problem;
    QCOMPARE(JsonText(ReadJsonObjectFile(file, problem).value_or(QJsonObject())),
             JsonText(CalibrationToJson(DeviceCalibration)));

    run = Run({"--port", port, "user", "get"});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, JsonText(UserParamsToJson(rig->emulator.userParams())));
}

void VornexctlTest::logLines_data()
{
    QTest::addColumn<QStringList>("options");
    // Every line must match this.
    QTest::addColumn<QString>("line");
    QTest::newRow("display") << QStringList{} << "^12\\.340 0\\.5670$";
    QTest::newRow("comma") << QStringList{"--comma"} << "^12,340 0,5670$";
    QTest::newRow("adc") << QStringList{"--source", "adc"} << "^12\\.345 0\\.5670$";
    QTest::newRow("running time") << QStringList{"--time", "hms"}
                                  << "^00:00:0\\d 12\\.340 0\\.5670$";
    QTest::newRow("seconds, JSON")
        << QStringList{"--time", "s", "--json"}
        << "^\\{\"current\":0\\.567,\"time\":\"\\d\",\"voltage\":12\\.34\\}$";
}

// Three lines in the panel's own format (the first row is the panel's worked example).
void VornexctlTest::logLines()
{
    QFETCH(QStringList, options);
    QFETCH(QString, line);
    const ToolRun run =
        Run(QStringList{"--port", port, "log", "--period", "1", "--count", "3"} + options);
    QCOMPARE(run.err, QByteArray());
    QCOMPARE(run.exitCode, 0);
    QVERIFY(run.out.endsWith('\n'));
    const QStringList lines = QString::fromUtf8(run.out.chopped(1)).split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 3);
    for (const QString &text : lines)
        QVERIFY2(QRegularExpression(line).match(text).hasMatch(), qPrintable(text));
}

void VornexctlTest::logLineArrivesAsItIsWritten()
{
    QProcess process;
    process.setProcessEnvironment(Environment({}));
    process.start(QStringLiteral(VORNEXCTL_PATH),
                  {"--port", port, "log", "--period", "1", "--count", "3"});
    QTRY_VERIFY_WITH_TIMEOUT(process.canReadLine(), 20000);
    QCOMPARE(process.state(), QProcess::Running);
    QCOMPARE(process.readLine(), QByteArray("12.340 0.5670\n"));
    QTRY_COMPARE_WITH_TIMEOUT(process.state(), QProcess::NotRunning, 20000);
    QCOMPARE(process.exitCode(), 0);
}

// The first requests go unanswered: the log says so, waits, and writes its lines once the
// converter answers again.
void VornexctlTest::logGoesOnThroughSilence()
{
    FaultSettings faults;
    faults.silentFirst = 10;
    rig->emulator.setFaults(faults);
    const ToolRun run = Run({"--port", port, "log", "--period", "1", "--count", "2"});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, QByteArray("12.340 0.5670\n12.340 0.5670\n"));
    QCOMPARE(QString::fromUtf8(run.err), QStringLiteral("vornexctl: преобразователь не отвечает\n"
                                                        "vornexctl: связь восстановлена\n"));
}

// Two programs on one line is what the port's lock prevents: the port is held as the panel's
// session holds it (a session would poll, so a bare port stands in for it here) and the tool
// is refused before it sends anything.
void VornexctlTest::portHeldByThePanelIsBusy()
{
    QSerialPort panel(port);
    QVERIFY(panel.open(QIODevice::ReadWrite));
    rig->emulator.clearRequests();

    const ToolRun run = Run({"--port", port, "status"});
    QCOMPARE(run.exitCode, 3);
    QCOMPARE(QString::fromUtf8(run.err),
             QStringLiteral("vornexctl: Не удается открыть порт %1: порт занят другой программой "
                            "(если это панель VORNEXcontrol с включённым SCPI-сервером, команда "
                            "дойдёт до преобразователя через неё: --via 127.0.0.1)\n")
                 .arg(port));
    QCOMPARE(rig->emulator.requests().size(), 0);
    panel.close();

    QVERIFY(rig->Open(port));
    DeviceSession second;
    QVERIFY(!second.Open(port));
    QCOMPARE(ClassifyOpenFailure(second.OpenFailure(), LookAtPortFile(port)), Failure::PortBusy);
}

void VornexctlTest::portProblems()
{
    ToolRun run = Run({"--port", "/dev/vornex-no-such-port", "status"});
    QCOMPARE(run.exitCode, 3);
    QVERIFY2(run.err.contains("/dev/vornex-no-such-port: порт не найден"), run.err.constData());

    run = Run({"status"});
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains("не задан порт"), run.err.constData());

    QProcessEnvironment environment;
    environment.insert(QStringLiteral("VORNEX_PORT"), port);
    QCOMPARE(Run({"setpoints"}, environment).exitCode, 0);
    environment.clear();
    environment.insert(QStringLiteral("VORNEX_EXTRA_PORTS"), port + ":/dev/vornex-no-such-port");
    QCOMPARE(Run({"setpoints"}, environment).exitCode, 0);
}

void VornexctlTest::helpAndUsage_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    QTest::newRow("overview") << QStringList{"--help"} << 0 << "Коды завершения:"
                              << "";
    for (const char *command : {"status", "adc", "setpoints", "set", "on", "off", "calibration",
                                "user", "log", "counters"}) {
        QTest::addRow("%s --help", command)
            << QStringList{command, "--help"} << 0
            << QStringLiteral("Использование: vornexctl %1").arg(command) << "";
    }
    QTest::newRow("help calibration set")
        << QStringList{"help", "calibration"} << 0 << "calibration set ФАЙЛ"
        << "";
    QTest::newRow("version") << QStringList{"--version"} << 0 << "vornexctl 1."
                             << "";
    QTest::newRow("out of range") << QStringList{"set", "31", "1"} << 2 << ""
                                  << "«31» вне диапазона от 0.01 до 30.00 В";
    QTest::newRow("unknown command") << QStringList{"reset"} << 2 << ""
                                     << "неизвестная команда «reset»";
    QTest::newRow("usage error as JSON")
        << QStringList{"--json", "set", "1", "x"} << 2 << ""
        << "{\"error\":\"usage\",\"message\":\"ток: «x» — не число";
}

void VornexctlTest::helpAndUsage()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, out);
    QFETCH(QString, err);
    const ToolRun run = Run(arguments << "--port" << port);
    QTEST(run.exitCode, "exitCode");
    QVERIFY2(QString::fromUtf8(run.out).contains(out), run.out.constData());
    QVERIFY2(QString::fromUtf8(run.err).contains(err), run.err.constData());
    QCOMPARE(run.out.isEmpty(), out.isEmpty());
    QCOMPARE(run.err.isEmpty(), err.isEmpty());
    QCOMPARE(rig->emulator.requests().size(), 0);
}

void VornexctlTest::traceGoesToStandardError()
{
    const ToolRun run = Run({"--trace", "--port", port, "status"});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, QByteArray("voltage 12.34 V\ncurrent 0.567 A\ncv on\ncc off\noutput on\n"
                                 "fineRange off\n"));
    QVERIFY2(run.err.startsWith("Call GetLine\n"), run.err.constData());
    QVERIFY2(run.err.contains("\nLineCode = ^"), run.err.constData());
}

// The panel as --via meets it: a device session on the emulator's port and its SCPI server on a
// port the system chooses. The address for --via, or nothing when the panel did not start.
QString VornexctlTest::StartPanel(bool waitForReadings)
{
    QSignalSpy statusRead(&rig->session, &DeviceSession::statusRead);
    QSignalSpy adcRead(&rig->session, &DeviceSession::adcRead);
    if (!rig->Open(port))
        return QString();
    // The panel's own store and folder, apart from vornexctl's.
    panelStore = std::make_unique<QSettings>(PanelStorePath(), QSettings::IniFormat);
    panelGuard = std::make_unique<DeviceGuard>(&rig->session, panelStore.get(), PanelGuardFolder());
    panelServer = std::make_unique<ScpiServer>(&rig->session, panelGuard.get());
    if (!panelServer->Apply(RemoteSettings{true, RemoteSettings::Listen::Local, 0, {}}))
        return QString();
    if (waitForReadings &&
        !QTest::qWaitFor([&] { return !statusRead.isEmpty() && !adcRead.isEmpty(); }, 10000))
        return QString();
    return QStringLiteral("127.0.0.1:%1").arg(panelServer->Port());
}

// What the port commands print, through the panel.
void VornexctlTest::viaPanelReadings_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<QByteArray>("out");
    const Setup none = [](ConverterEmulator &) {};
    QTest::newRow("status") << QStringList{"status"} << none
                            << QByteArray("voltage 12.34 V\ncurrent 0.567 A\ncv on\ncc off\n"
                                          "output on\nfineRange off\n");
    QTest::newRow("status JSON")
        << QStringList{"--json", "status"} << none
        << QByteArray("{\"cc\":false,\"current\":0.567,\"cv\":true,\"fineRange\":false,"
                      "\"output\":true,\"voltage\":12.34}\n");
    QTest::newRow("status, fine range")
        << QStringList{"status"} << Setup([](ConverterEmulator &emulator) {
               emulator.setFixedStatus(OutputStatus{5, 1234, 1, 0, 1, 0});
           })
        << QByteArray("voltage 0.05 V\ncurrent 0.1234 A\ncv off\ncc on\noutput off\n"
                      "fineRange on\n");
    QTest::newRow("adc") << QStringList{"adc"} << none
                         << QByteArray("sdadcVoltage 12.345 V\nsdadcCurrent 0.567 A\n"
                                       "fineCurrent 0.5678 A\ninputVoltage 24.000 V\n"
                                       "referenceVoltage 2.500 V\n");
    QTest::newRow("setpoints JSON") << QStringList{"setpoints", "--json"} << none
                                    << QByteArray("{\"current\":1,\"voltage\":5}\n");
    QTest::newRow("log") << QStringList{"log", "--period", "1", "--count", "2"} << none
                         << QByteArray("12.340 0.5670\n12.340 0.5670\n");
}

void VornexctlTest::viaPanelReadings()
{
    QFETCH(QStringList, arguments);
    QFETCH(Setup, setup);
    setup(rig->emulator);
    const QString via = StartPanel(true);
    QVERIFY(!via.isEmpty());
    const ToolRun run = Run(arguments << "--via" << via);
    QCOMPARE(run.err, QByteArray());
    QCOMPARE(run.exitCode, 0);
    QTEST(run.out, "out");
}

void VornexctlTest::viaPanelWrites_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<int>("millivolts");
    QTest::addColumn<int>("milliamps");
    QTest::addColumn<bool>("outputOn");
    QTest::newRow("set") << QStringList{"set", "12", "1.5"}
                         << QByteArray("voltage 12.000 V\ncurrent 1.500 A\n") << 12000 << 1500
                         << false;
    QTest::newRow("set smallest JSON")
        << QStringList{"--json", "set", "0.01", "0.005"}
        << QByteArray("{\"current\":0.005,\"voltage\":0.01}\n") << 10 << 5 << false;
    QTest::newRow("on") << QStringList{"on"} << QByteArray("output on\n") << 5000 << 1000 << true;
}

// The writes reach the converter through the panel's session.
void VornexctlTest::viaPanelWrites()
{
    QFETCH(QStringList, arguments);
    const QString via = StartPanel(true);
    QVERIFY(!via.isEmpty());
    const ToolRun run = Run(arguments << "--via" << via);
    QCOMPARE(run.err, QByteArray());
    QCOMPARE(run.exitCode, 0);
    QTEST(run.out, "out");
    QTEST(int(rig->emulator.setpoints().voltage), "millivolts");
    QTEST(int(rig->emulator.setpoints().current), "milliamps");
    QTEST(rig->emulator.outputOn(), "outputOn");
}

// A converter that fails the panel fails the command as it would over a port.
void VornexctlTest::viaPanelFailures_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    QTest::newRow("status, silent") << QStringList{"status"} << "silent" << 4
                                    << "vornexctl: Ошибка чтения: преобразователь не отвечает\n";
    QTest::newRow("on, silent") << QStringList{"on"} << "silent" << 4
                                << "vornexctl: Ошибка записи: преобразователь не отвечает (4 "
                                   "попытки) (панель: -240, «Hardware error;no reply from "
                                   "converter»)\n";
    QTest::newRow("off, NAK, JSON")
        << QStringList{"off", "--json"} << "nak" << 5
        << "{\"error\":\"bad-reply\",\"message\":\"Ошибка записи: неверный ответ "
           "преобразователя (4 попытки) (панель: -240, «Hardware error;bad reply from "
           "converter»)\"}\n";
}

void VornexctlTest::viaPanelFailures()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, fault);
    FaultSettings faults;
    faults.silent = fault == QLatin1String("silent");
    faults.nak = fault == QLatin1String("nak");
    rig->emulator.setFaults(faults);
    const QString via = StartPanel(fault == QLatin1String("nak"));
    QVERIFY(!via.isEmpty());
    const ToolRun run = Run(arguments << "--via" << via);
    QTEST(run.exitCode, "exitCode");
    QTEST(QString::fromUtf8(run.err), "message");
    QCOMPARE(run.out, QByteArray());
}

// While the panel has no fresh reading the log says so and waits, as over a port.
void VornexctlTest::viaLogGoesOnThroughSilence()
{
    FaultSettings faults;
    faults.silentFirst = 10;
    rig->emulator.setFaults(faults);
    const QString via = StartPanel(false);
    QVERIFY(!via.isEmpty());
    const ToolRun run = Run({"--via", via, "log", "--period", "1", "--count", "2"});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, QByteArray("12.340 0.5670\n12.340 0.5670\n"));
    QCOMPARE(QString::fromUtf8(run.err), QStringLiteral("vornexctl: преобразователь не отвечает\n"
                                                        "vornexctl: связь восстановлена\n"));
}

void VornexctlTest::viaWithoutPanel()
{
    // A port that was free a moment ago, so that nothing listens there.
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost));
    const quint16 freePort = probe.serverPort();
    probe.close();
    const QString via = QStringLiteral("127.0.0.1:%1").arg(freePort);
    ToolRun run = Run({"--via", via, "status"});
    QCOMPARE(run.exitCode, 3);
    QCOMPARE(QString::fromUtf8(run.err),
             QStringLiteral("vornexctl: панель VORNEXcontrol не отвечает на %1 (включён ли "
                            "SCPI-сервер?)\n")
                 .arg(via));

    run = Run({"calibration", "get", "--via", via});
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(QString::fromUtf8(run.err).contains(
                 "калибровка и пользовательские параметры по сети недоступны"),
             run.err.constData());
    QCOMPARE(run.out, QByteArray());
}

void VornexctlTest::StoreCaps(std::optional<double> voltageCap, std::optional<double> currentCap)
{
    QSettings store(home->filePath(QStringLiteral("config/brenta/TALMIR.conf")),
                    QSettings::IniFormat);
    ProtectionSettings protection;
    protection.voltageCap = voltageCap;
    protection.currentCap = currentCap;
    StoreProtectionSettings(store, protection);
    store.sync();
    QCOMPARE(store.status(), QSettings::NoError);
}

// The counters are the panel's file: vornexctl opens no port for them.
void VornexctlTest::countersFromThePanelsFile_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("out");
    QTest::newRow("plain") << QStringList{"counters"}
                           << QByteArray("charge 0.125000 Ah\nenergy 1.50014 Wh\n"
                                         "onTime 3600.25 s\ngapTime 0.500000 s\n"
                                         "resetAt 2026-12-01T08:00:00.250Z\n");
    QTest::newRow("JSON") << QStringList{"--json", "counters"}
                          << QByteArray("{\"charge\":0.125,\"energy\":1.500138888888889,"
                                        "\"gapTime\":0.5,\"onTime\":3600.25,"
                                        "\"resetAt\":\"2026-12-01T08:00:00.250Z\"}\n");
}

void VornexctlTest::countersFromThePanelsFile()
{
    QFETCH(QStringList, arguments);
    EnergyTotals totals;
    totals.ampereSeconds = 450;
    totals.joules = 5400.5;
    totals.onSeconds = 3600.25;
    totals.gapSeconds = 0.5;
    totals.resetAt = QDateTime(QDate(2026, 12, 1), QTime(8, 0, 0, 250), Qt::UTC);
    QVERIFY(QDir().mkpath(PanelFolder()));
    QCOMPARE(CounterFile::Save(CounterPath(), totals), QString());
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("VORNEX_PORT"), port);

    const ToolRun run = Run(arguments, environment);
    QCOMPARE(run.err, QByteArray());
    QCOMPARE(run.exitCode, 0);
    QTEST(run.out, "out");
    QCOMPARE(rig->emulator.requests().size(), 0);
}

void VornexctlTest::countersWithoutAFile()
{
    ToolRun run = Run({"counters"});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out,
             QByteArray("charge 0 Ah\nenergy 0 Wh\nonTime 0 s\ngapTime 0 s\nresetAt never\n"));
    QCOMPARE(
        QString::fromUtf8(run.err),
        QStringLiteral("vornexctl: панель ещё не сохраняла счётчики (нет «%1»): все по нулям\n")
            .arg(CounterPath()));

    run = Run({"counters", "--json"});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, QByteArray("{\"charge\":0,\"energy\":0,\"gapTime\":0,\"onTime\":0,"
                                 "\"resetAt\":null}\n"));
    QVERIFY2(run.err.startsWith("{\"event\":\"no-counters\",\"message\":"), run.err.constData());
    QVERIFY(!QFileInfo::exists(PanelFolder()));
}

void VornexctlTest::damagedCounterFile()
{
    QVERIFY(QDir().mkpath(PanelFolder()));
    QFile file(CounterPath());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("{\"ampereSeconds\": 12, \"joules\": ");
    file.close();

    ToolRun run = Run({"counters"});
    QCOMPARE(run.exitCode, 6);
    QCOMPARE(run.out, QByteArray());
    QCOMPARE(QString::fromUtf8(run.err),
             QStringLiteral("vornexctl: счётчики панели не прочитаны: «%1»: повреждён\n")
                 .arg(CounterPath()));

    run = Run({"--json", "counters"});
    QCOMPARE(run.exitCode, 6);
    QVERIFY2(run.err.startsWith("{\"error\":\"bad-file\",\"message\":"), run.err.constData());
}

// A running panel would write its own counts over a reset behind its back.
void VornexctlTest::countersResetRefusedWhileThePanelKeepsThem()
{
    EnergyTotals counted;
    counted.ampereSeconds = 7200;
    QVERIFY(QDir().mkpath(PanelFolder()));
    QCOMPARE(CounterFile::Save(CounterPath(), counted), QString());
    // The panel's guard takes the lock as this does; this process stands in for the panel.
    QLockFile panel(QDir(PanelFolder()).filePath(DeviceGuard::CounterLockName()));
    panel.setStaleLockTime(0);
    QVERIFY(panel.tryLock(0));

    const ToolRun run = Run({"counters", "reset"});
    QCOMPARE(run.exitCode, 3);
    QCOMPARE(run.out, QByteArray());
    QCOMPARE(QString::fromUtf8(run.err),
             QStringLiteral("vornexctl: счётчики не сброшены: их ведёт работающая панель (%1); "
                            "сбросьте их в панели или через неё: vornexctl --via УЗЕЛ counters "
                            "reset\n")
                 .arg(QDir(PanelFolder()).filePath(DeviceGuard::CounterLockName())));
    QVERIFY(CounterFile::Load(CounterPath()).totals == counted);

    const ToolRun json = Run({"counters", "reset", "--json"});
    QCOMPARE(json.exitCode, 3);
    QVERIFY2(json.err.startsWith("{\"error\":\"counters-busy\","), json.err.constData());

    // Reading them while the panel runs is fine.
    const ToolRun read = Run({"counters"});
    QCOMPARE(read.exitCode, 0);
    QVERIFY2(read.out.startsWith("charge 2.00000 Ah\n"), read.out.constData());
}

void VornexctlTest::countersResetWritesZeros()
{
    EnergyTotals counted;
    counted.ampereSeconds = 7200;
    counted.joules = 86400;
    counted.onSeconds = 3600;
    counted.gapSeconds = 4;
    QVERIFY(QDir().mkpath(PanelFolder()));
    QCOMPARE(CounterFile::Save(CounterPath(), counted), QString());

    // The file has milliseconds, so the bounds are whole milliseconds too.
    const QDateTime before = QDateTime::currentDateTimeUtc().addMSecs(-1);
    const ToolRun run = Run({"counters", "reset"});
    const QDateTime after = QDateTime::currentDateTimeUtc().addMSecs(1);
    QCOMPARE(run.err, QByteArray());
    QCOMPARE(run.exitCode, 0);

    const CounterFile::Loaded loaded = CounterFile::Load(CounterPath());
    QVERIFY(loaded.totals);
    const EnergyTotals &zero = *loaded.totals;
    QCOMPARE(zero.ampereSeconds, 0.0);
    QCOMPARE(zero.joules, 0.0);
    QCOMPARE(zero.onSeconds, 0.0);
    QCOMPARE(zero.gapSeconds, 0.0);
    QVERIFY2(zero.resetAt >= before && zero.resetAt <= after,
             qPrintable(zero.resetAt.toString(Qt::ISODateWithMs)));
    QCOMPARE(run.out, "charge 0 Ah\nenergy 0 Wh\nonTime 0 s\ngapTime 0 s\nresetAt " +
                          zero.resetAt.toString(Qt::ISODateWithMs).toLatin1() + '\n');
    // The lock is left for the panel.
    QVERIFY(!QFileInfo::exists(QDir(PanelFolder()).filePath(DeviceGuard::CounterLockName())));
    QCOMPARE(Run({"counters"}).out, run.out);
}

// The panel's own guard, on the folder vornexctl finds: its lock is what refuses the reset.
void VornexctlTest::countersResetRefusedWhileAPanelsGuardRuns()
{
    EnergyTotals counted;
    counted.ampereSeconds = 7200;
    QVERIFY(QDir().mkpath(PanelFolder()));
    QCOMPARE(CounterFile::Save(CounterPath(), counted), QString());
    QSettings store(PanelStorePath(), QSettings::IniFormat);
    auto guard = std::make_unique<DeviceGuard>(&rig->session, &store, PanelFolder());
    QCOMPARE(guard->CounterProblem(), QString());

    ToolRun run = Run({"counters", "reset"});
    QCOMPARE(run.exitCode, 3);
    QVERIFY2(run.err.contains("их ведёт работающая панель"), run.err.constData());
    run = Run({"counters"});
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.out.startsWith("charge 2.00000 Ah\n"), run.out.constData());

    // Once the panel has ended, the reset goes through, and the next panel starts from it.
    guard.reset();
    run = Run({"counters", "reset"});
    QCOMPARE(run.err, QByteArray());
    QCOMPARE(run.exitCode, 0);
    DeviceGuard next(&rig->session, &store, PanelFolder());
    QCOMPARE(next.Totals().ampereSeconds, 0.0);
    QVERIFY(next.Totals().resetAt.isValid());
}

// Through the panel, against a stand-in for its server's counters.
void VornexctlTest::viaCounters_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("out");
    QTest::newRow("plain") << QStringList{"counters"}
                           << QByteArray("charge 0.125000 Ah\nenergy 1.50014 Wh\n"
                                         "onTime 3600.25 s\ngapTime 0.500000 s\n");
    QTest::newRow("JSON") << QStringList{"counters", "--json"}
                          << QByteArray("{\"charge\":0.125,\"energy\":1.500138889,"
                                        "\"gapTime\":0.5,\"onTime\":3600.25}\n");
}

void VornexctlTest::viaCounters()
{
    QFETCH(QStringList, arguments);
    StandInPanel panel;
    panel.answers = {{"FETC:CHAR?", "0.125"},
                     {"FETC:ENER?", "1.500138889E+00"},
                     {"FETC:ONT?", "3600.25"},
                     {"FETC:GAP?", "0.5"}};
    QVERIFY(panel.Listen());
    const ToolRun run = Run(arguments << "--via" << panel.Address());
    QCOMPARE(run.err, QByteArray());
    QCOMPARE(run.exitCode, 0);
    QTEST(run.out, "out");
    QCOMPARE(panel.lines, QByteArrayList({"FETC:CHAR?", "SYST:ERR?", "FETC:ENER?", "FETC:ONT?",
                                          "FETC:GAP?", "SYST:ERR?"}));
}

void VornexctlTest::viaCountersReset()
{
    StandInPanel panel;
    panel.answers = {
        {"FETC:CHAR?", "0"}, {"FETC:ENER?", "0"}, {"FETC:ONT?", "0"}, {"FETC:GAP?", "0"}};
    QVERIFY(panel.Listen());
    ToolRun run = Run({"--via", panel.Address(), "counters", "reset"});
    QCOMPARE(run.err, QByteArray());
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, QByteArray("charge 0 Ah\nenergy 0 Wh\nonTime 0 s\ngapTime 0 s\n"));
    QCOMPARE(panel.lines.mid(0, 3), QByteArrayList({"SENS:ACC:RES", "SYST:ERR?", "FETC:CHAR?"}));

    // A reset the panel refuses ends the run there.
    panel.lines.clear();
    panel.errors = {{"SENS:ACC:RES", "-200,\"Execution error;counters not kept\""}};
    run = Run({"--via", panel.Address(), "counters", "reset"});
    QCOMPARE(run.exitCode, 5);
    QCOMPARE(run.out, QByteArray());
    QCOMPARE(QString::fromUtf8(run.err),
             QStringLiteral("vornexctl: Ошибка записи: панель не приняла команду (панель: -200, "
                            "«Execution error;counters not kept»)\n"));
    QCOMPARE(panel.lines, QByteArrayList({"SENS:ACC:RES", "SYST:ERR?", "SYST:ERR?"}));
}

// A panel without counters leaves FETC:CHAR? unanswered: vornexctl says so at once rather than
// wait out the answer's time-out (which would be "no-panel", status 3).
void VornexctlTest::viaCountersFromAPanelWithout()
{
    StandInPanel panel;
    QVERIFY(panel.Listen());
    const ToolRun run = Run({"--via", panel.Address(), "counters"});
    QCOMPARE(run.exitCode, 5);
    QCOMPARE(run.out, QByteArray());
    QCOMPARE(QString::fromUtf8(run.err),
             QStringLiteral("vornexctl: Ошибка чтения: панель не ответила на FETC:CHAR?: счётчиков "
                            "у неё нет (панель старой версии?) (панель: -113, «Undefined "
                            "header»)\n"));

    // One that knows the query but keeps no counters answers "not a number" and says why.
    StandInPanel noGuard;
    noGuard.answers = {{"FETC:CHAR?", "9.91E+37"}};
    noGuard.errors = {{"FETC:CHAR?", "-200,\"Execution error;counters and protections not "
                                     "available\""}};
    QVERIFY(noGuard.Listen());
    const ToolRun without = Run({"--via", noGuard.Address(), "counters"});
    QCOMPARE(without.exitCode, 5);
    QCOMPARE(QString::fromUtf8(without.err),
             QStringLiteral("vornexctl: Ошибка чтения: неверный ответ панели на FETC:CHAR?: "
                            "«9.91E+37» (панель: -200, «Execution error;counters and protections "
                            "not available»)\n"));
}

// The operator's caps hold for vornexctl as for the window: refused before anything is sent.
void VornexctlTest::setpointsAboveTheCapsSendNothing_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("err");
    QTest::newRow("voltage")
        << QStringList{"set", "12", "1"}
        << "vornexctl: напряжение 12.00 В выше ограничения уставки 10.00 В (защита панели); "
           "ничего не отправлено\n";
    QTest::newRow("current, JSON")
        << QStringList{"--json", "set", "10", "1.501"}
        << "{\"error\":\"usage\",\"message\":\"ток 1.501 А выше ограничения уставки 1.500 А "
           "(защита панели); ничего не отправлено\"}\n";
}

void VornexctlTest::setpointsAboveTheCapsSendNothing()
{
    QFETCH(QStringList, arguments);
    StoreCaps(10.0, 1.5);
    rig->emulator.clearRequests();

    ToolRun run = Run(QStringList(arguments) << "--port" << port);
    QCOMPARE(run.exitCode, 2);
    QTEST(QString::fromUtf8(run.err), "err");
    QCOMPARE(run.out, QByteArray());
    QCOMPARE(rig->emulator.requests().size(), 0);

    // Through the panel the same: no connection is even made.
    StandInPanel panel;
    QVERIFY(panel.Listen());
    run = Run(QStringList(arguments) << "--via" << panel.Address());
    QCOMPARE(run.exitCode, 2);
    QTEST(QString::fromUtf8(run.err), "err");
    QCOMPARE(panel.lines, QByteArrayList());

    // At the caps the setpoints go.
    run = Run({"--port", port, "set", "10", "1.5"});
    QCOMPARE(run.err, QByteArray());
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(CountFor(Wire::Setpoints, Wire::Write), 1);
}

// The panel reached keeps caps of its own, which this computer's store does not know.
void VornexctlTest::viaCapRefusedByThePanel()
{
    StandInPanel panel;
    panel.errors = {{"VOLT 12.00", "-222,\"Data out of range;above the voltage cap 10.00 V\""}};
    QVERIFY(panel.Listen());
    const ToolRun run = Run({"--via", panel.Address(), "set", "12", "1"});
    QCOMPARE(run.exitCode, 2);
    QCOMPARE(run.out, QByteArray());
    QCOMPARE(QString::fromUtf8(run.err),
             QStringLiteral("vornexctl: Ошибка записи: панель отклонила значение: выше ограничения "
                            "уставки в её защите или вне пределов (панель: -222, «Data out of "
                            "range;above the voltage cap 10.00 V»)\n"));
    QCOMPARE(panel.lines, QByteArrayList({"VOLT 12.00", "SYST:ERR?", "SYST:ERR?"}));
}

// The panel's own server: its guard's counters, kept still by an output that is off.
void VornexctlTest::viaThePanelsCounters()
{
    rig->emulator.setFixedStatus(OutputStatus{1234, 567, 0, 1, 0, 0});
    EnergyTotals totals;
    totals.ampereSeconds = 450;
    totals.joules = 5400.5;
    totals.onSeconds = 3600.25;
    totals.gapSeconds = 0.5;
    totals.resetAt = QDateTime(QDate(2026, 12, 1), QTime(8, 0), Qt::UTC);
    QVERIFY(QDir().mkpath(PanelGuardFolder()));
    QCOMPARE(CounterFile::Save(QDir(PanelGuardFolder()).filePath(DeviceGuard::CounterFileName()),
                               totals),
             QString());
    const QString via = StartPanel(true);
    QVERIFY(!via.isEmpty());
    QVERIFY(panelGuard->Totals() == totals);

    ToolRun run = Run({"--via", via, "counters"});
    QCOMPARE(run.err, QByteArray());
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, QByteArray("charge 0.125000 Ah\nenergy 1.50014 Wh\nonTime 3600.25 s\n"
                                 "gapTime 0.500000 s\n"));
    run = Run({"--via", via, "--json", "counters"});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, QByteArray("{\"charge\":0.125,\"energy\":1.500138889,\"gapTime\":0.5,"
                                 "\"onTime\":3600.25}\n"));
}

void VornexctlTest::viaThePanelsCountersReset()
{
    rig->emulator.setFixedStatus(OutputStatus{1234, 567, 0, 1, 0, 0});
    EnergyTotals totals;
    totals.ampereSeconds = 450;
    QVERIFY(QDir().mkpath(PanelGuardFolder()));
    QCOMPARE(CounterFile::Save(QDir(PanelGuardFolder()).filePath(DeviceGuard::CounterFileName()),
                               totals),
             QString());
    const QString via = StartPanel(true);
    QVERIFY(!via.isEmpty());

    const QDateTime before = QDateTime::currentDateTimeUtc().addMSecs(-1);
    const ToolRun run = Run({"--via", via, "counters", "reset"});
    QCOMPARE(run.err, QByteArray());
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, QByteArray("charge 0 Ah\nenergy 0 Wh\nonTime 0 s\ngapTime 0 s\n"));
    QCOMPARE(panelGuard->Totals().ampereSeconds, 0.0);
    QVERIFY(panelGuard->Totals().resetAt >= before);
}

// The panel's caps, which this computer's store does not have: the panel refuses (-222).
void VornexctlTest::viaThePanelsCap()
{
    {
        QSettings store(PanelStorePath(), QSettings::IniFormat);
        ProtectionSettings protection;
        protection.voltageCap = 10.0;
        StoreProtectionSettings(store, protection);
    }
    const QString via = StartPanel(true);
    QVERIFY(!via.isEmpty());
    rig->emulator.clearRequests();

    const ToolRun run = Run({"--via", via, "set", "12", "1"});
    QCOMPARE(run.exitCode, 2);
    QCOMPARE(run.out, QByteArray());
    QVERIFY2(run.err.startsWith("vornexctl: Ошибка записи: панель отклонила значение: выше "
                                "ограничения уставки в её защите или вне пределов (панель: "
                                "-222, «Data out of range"),
             run.err.constData());
    QCOMPARE(CountFor(Wire::Setpoints, Wire::Write), 0);
    QCOMPARE(int(rig->emulator.setpoints().voltage), 5000);
}

QTEST_GUILESS_MAIN(VornexctlTest)
#include "tst_vornexctl.moc"
