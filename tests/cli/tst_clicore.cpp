#include "cli/blockfile.h"
#include "cli/commandline.h"
#include "cli/failure.h"
#include "cli/panelcounters.h"
#include "cli/portproblem.h"
#include "cli/remoteaddress.h"
#include "cli/resulttext.h"
#include "cli/scpianswer.h"
#include "cli/setpointcaps.h"
#include "guard/counterfile.h"
#include "guard/deviceguard.h"
#include "guard/protectionsettings.h"
#include "link/blockfields.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QLockFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const char *ActionName(CliAction action)
{
    static const char *const names[] = {"help",
                                        "version",
                                        "status",
                                        "adc",
                                        "setpoints",
                                        "set",
                                        "on",
                                        "off",
                                        "calibration-get",
                                        "calibration-set",
                                        "user-get",
                                        "user-set",
                                        "log",
                                        "counters",
                                        "counters-reset"};
    return names[int(action)];
}

// The parts of a command that its action uses, in one comparable line.
QString Describe(const CliCommand &command)
{
    QString text = QString::fromLatin1(ActionName(command.action));
    switch (command.action) {
    case CliAction::Help:
        return text + QLatin1Char(' ') + command.helpTopic;
    case CliAction::Version:
        return text;
    case CliAction::Set:
        text +=
            QStringLiteral(" %1 %2").arg(command.setpoints.voltage).arg(command.setpoints.current);
        break;
    case CliAction::CalibrationGet:
    case CliAction::CalibrationSet:
    case CliAction::UserGet:
    case CliAction::UserSet:
        text += QStringLiteral(" file=") + command.file;
        break;
    case CliAction::Log:
        text += QStringLiteral(" period=%1 count=%2 source=%3 time=%4/%5 comma=%6")
                    .arg(command.log.logPeriod.toString(QStringLiteral("mm:ss")))
                    .arg(command.count)
                    .arg(command.log.logValue)
                    .arg(command.log.addTime)
                    .arg(command.log.timeForm)
                    .arg(command.log.commeDot);
        break;
    default:
        break;
    }
    const QString where = command.via ? QStringLiteral("via=") + RemoteAddressText(*command.via)
                                      : QStringLiteral("port=") + command.port;
    return text +
           QStringLiteral(" %1 json=%2 trace=%3").arg(where).arg(command.json).arg(command.trace);
}

CalibrationBlock SomeCalibration()
{
    return CalibrationBlock{1001, 1002, 1003, 1004, 1005, -5, 6, -7, 8, -900, 10};
}

QJsonObject CalibrationWith(const char *key, const QJsonValue &value)
{
    QJsonObject object = CalibrationToJson(SomeCalibration());
    if (value.isUndefined())
        object.remove(QLatin1String(key));
    else
        object.insert(QLatin1String(key), value);
    return object;
}

QJsonObject SomeUserParams(const QJsonValue &lifeCounter)
{
    QJsonObject object =
        UserParamsToJson(UserParamBlock{1, 0, 0, 20, 5000, 30000, 150, 0, 100, 5, 400});
    if (lifeCounter.isUndefined())
        object.remove(QStringLiteral("lifeCounter"));
    else
        object.insert(QStringLiteral("lifeCounter"), lifeCounter);
    return object;
}

CounterValues SomeCounters()
{
    CounterValues counters;
    counters.ampereHours = 0.125;
    counters.wattHours = 1.500138888;
    counters.onSeconds = 3600.25;
    counters.gapSeconds = 0.5;
    counters.resetAt = QDateTime(QDate(2026, 12, 1), QTime(8, 0, 0, 250), Qt::UTC);
    return counters;
}

} // namespace

Q_DECLARE_METATYPE(std::optional<double>)

class CliCoreTest : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void blockFromJson_data();
    void blockFromJson();
    void blockRoundTrip();
    void blockFiles();
    void backupPath_data();
    void backupPath();
    void openFailure_data();
    void openFailure();
    void remoteAddress_data();
    void remoteAddress();
    void scpiReading_data();
    void scpiReading();
    void scpiQueueEntry_data();
    void scpiQueueEntry();
    void exitStatuses();
    void resultText_data();
    void resultText();
    void scpiCount_data();
    void scpiCount();
    void setpointCaps_data();
    void setpointCaps();
    void panelDataFolder();
    void panelCountersRead();
    void panelCountersReset();
};

void CliCoreTest::parse_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("envPort");
    QTest::addColumn<QString>("envExtra");
    // A successful parse's description, or a piece of the usage error.
    QTest::addColumn<QString>("expected");

    const QString none;
    auto row = [](const char *name, const QString &arguments, const QString &port,
                  const QString &extra, const QString &expected) {
        QTest::newRow(name) << arguments.split(QLatin1Char(' '), Qt::SkipEmptyParts) << port
                            << extra << expected;
    };
    row("status", "--port /dev/x status", none, none, "status port=/dev/x json=0 trace=0");
    row("options after the command", "status --json --trace --port=/dev/y", none, none,
        "status port=/dev/y json=1 trace=1");
    row("port from VORNEX_PORT", "adc", "/dev/env", "/dev/a:/dev/b",
        "adc port=/dev/env json=0 trace=0");
    row("first extra port", "setpoints", none,
        QStringList{QString(), "/dev/a", "/dev/b"}.join(QDir::listSeparator()),
        "setpoints port=/dev/a json=0 trace=0");
    row("option wins over environment", "on --port /dev/o", "/dev/env", "/dev/a",
        "on port=/dev/o json=0 trace=0");
    row("no port", "status", none, none, "не задан порт");

    row("set", "set 12 1.5 --port p", none, none, "set 12000 1500 port=p json=0 trace=0");
    row("set lowest", "set 0.01 0.005 --port p", none, none, "set 10 5 port=p json=0 trace=0");
    row("set highest", "set 30.00 9.999 --port p", none, none,
        "set 30000 9999 port=p json=0 trace=0");
    row("set trailing zeros", "set 12.340 1.5000 --port p", none, none,
        "set 12340 1500 port=p json=0 trace=0");
    row("set above range", "set 30.01 1 --port p", none, none,
        "«30.01» вне диапазона от 0.01 до 30.00 В");
    row("set zero volts", "set 0 1 --port p", none, none, "напряжение: «0» вне диапазона");
    row("set negative", "set -1 1 --port p", none, none, "напряжение: «-1» вне диапазона");
    row("set 10 A", "set 12 10 --port p", none, none,
        "ток: «10» вне диапазона от 0.005 до 9.999 А");
    row("set too fine", "set 12.345 1 --port p", none, none, "не больше 2 знаков после точки");
    row("set current too fine", "set 12 0.0005 --port p", none, none, "не больше 3 знаков");
    row("set comma", "set 12,5 1 --port p", none, none, "десятичный разделитель — точка");
    row("set word", "set abc 1 --port p", none, none, "«abc» — не число");
    row("set exponent", "set 1e1 1 --port p", none, none, "«1e1» — не число");
    row("set infinity", "set inf 1 --port p", none, none, "«inf» — не число");
    row("set one value", "set 12 --port p", none, none, "set ждёт два числа");
    row("extra argument", "on now --port p", none, none, "лишний аргумент «now»");

    row("calibration get", "calibration get --port p", none, none,
        "calibration-get file= port=p json=0 trace=0");
    row("calibration get file", "calibration get cal.json --port p", none, none,
        "calibration-get file=cal.json port=p json=0 trace=0");
    row("calibration set", "calibration set cal.json --port p", none, none,
        "calibration-set file=cal.json port=p json=0 trace=0");
    row("calibration set without file", "calibration set --port p", none, none,
        "calibration get [ФАЙЛ] или calibration set ФАЙЛ");
    row("user put", "user put u.json --port p", none, none, "user get [ФАЙЛ] или user set ФАЙЛ");
    row("user set", "user set u.json --port p", none, none,
        "user-set file=u.json port=p json=0 trace=0");

    row("log", "log --period 1 --port p", none, none,
        "log period=00:01 count=0 source=0 time=0/0 comma=0 port=p json=0 trace=0");
    row("log, every option",
        "log --period=600 --count 3 --source adc --time clock --comma --port p", none, none,
        "log period=10:00 count=3 source=1 time=1/3 comma=1 port=p json=0 trace=0");
    row("log time ms", "log --period 5 --time ms --port p", none, none,
        "log period=00:05 count=0 source=0 time=1/1 comma=0 port=p json=0 trace=0");
    row("log without period", "log --port p", none, none, "для log нужен --period");
    row("log period too long", "log --period 601 --port p", none, none,
        "«601» вне диапазона от 1 до 600");
    row("log period fraction", "log --period 1.5 --port p", none, none, "«1.5» — не целое число");
    row("log count zero", "log --period 1 --count 0 --port p", none, none,
        "--count: «0» вне диапазона");
    row("log bad source", "log --period 1 --source lcd --port p", none, none,
        "ожидается display или adc");
    row("log bad time", "log --period 1 --time iso --port p", none, none,
        "ожидается hms, ms, s или clock");
    row("log option elsewhere", "status --period 1 --port p", none, none,
        "--period — только для log");

    row("counters", "counters", none, none, "counters port= json=0 trace=0");
    row("counters need no port", "counters --json", "/dev/env", "/dev/a",
        "counters port= json=1 trace=0");
    row("counters reset", "counters reset", none, none, "counters-reset port= json=0 trace=0");
    row("counters via", "counters reset --via 127.0.0.1:6000", none, none,
        "counters-reset via=127.0.0.1:6000 json=0 trace=0");
    row("counters with a port", "counters --port p", none, none, "counters не обращается к порту");
    row("counters clear", "counters clear", none, none, "ожидается counters или counters reset");
    row("counters reset twice", "counters reset reset", none, none,
        "ожидается counters или counters reset");
    row("counters log option", "counters --period 1", none, none, "--period — только для log");
    row("help counters", "counters --help", none, none, "help counters");

    row("help", "--help", none, none, "help ");
    row("help of a command", "set --help", none, none, "help set");
    row("help word", "help log", none, none, "help log");
    row("short help", "-h calibration set", none, none, "help calibration");
    row("help of nothing known", "help frobnicate", none, none, "неизвестная команда «frobnicate»");
    row("version", "--version", none, none, "version");
    row("unknown option", "--bogus status", none, none, "неизвестный параметр --bogus");
    row("single dash", "-x status", none, none, "неизвестный параметр -x");
    row("flag with value", "--json=1 status", none, none, "--json не принимает значения");
    row("option without value", "status --port", none, none, "для параметра --port нужно значение");
    row("nothing", "", none, none, "не задана команда");
    row("unknown command", "reboot --port p", none, none, "неизвестная команда «reboot»");

    row("via", "--via 127.0.0.1 status", none, none, "status via=127.0.0.1:5025 json=0 trace=0");
    row("via, no port from the environment", "set 12 1.5 --via=panel:6000", "/dev/env", "/dev/a",
        "set 12000 1500 via=panel:6000 json=0 trace=0");
    row("via log", "log --period 2 --via [::1]:5025 --json", none, none,
        "log period=00:02 count=0 source=0 time=0/0 comma=0 via=[::1]:5025 json=1 trace=0");
    row("via and port", "status --via 127.0.0.1 --port p", none, none,
        "--via и --port вместе не задаются");
    row("via calibration", "calibration get --via 127.0.0.1", none, none,
        "калибровка и пользовательские параметры по сети недоступны");
    row("via user set", "user set u.json --via 127.0.0.1", none, none, "по сети недоступны");
    row("via bad address", "status --via 127.0.0.1:0", none, none,
        "--via: порт: «0» вне диапазона от 1 до 65535");
}

void CliCoreTest::parse()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, envPort);
    QFETCH(QString, envExtra);
    QFETCH(QString, expected);
    const ParsedCommandLine parsed =
        ParseCommandLine(arguments, PortEnvironment{envPort, envExtra});
    if (parsed.error.isEmpty())
        QCOMPARE(Describe(parsed.command), expected);
    else
        QVERIFY2(parsed.error.contains(expected), qPrintable(parsed.error));
}

void CliCoreTest::blockFromJson_data()
{
    QTest::addColumn<bool>("calibration");
    QTest::addColumn<QJsonObject>("object");
    QTest::addColumn<QString>("problems"); // empty: accepted

    const QJsonValue missing(QJsonValue::Undefined);
    QTest::newRow("calibration") << true << CalibrationWith("rout", 10) << "";
    QTest::newRow("missing field") << true << CalibrationWith("rout", missing) << "нет поля «rout»";
    QTest::newRow("extra field") << true << CalibrationWith("comment", "x")
                                 << "лишнее поле «comment»";
    QTest::newRow("string") << true << CalibrationWith("kuDacVolt", "1000")
                            << "поле «kuDacVolt»: ожидается целое число, а не строка";
    QTest::newRow("fraction") << true << CalibrationWith("kuDacVolt", 1000.5)
                              << "поле «kuDacVolt»: ожидается целое число, а не 1000.5";
    QTest::newRow("null") << true << CalibrationWith("rout", QJsonValue::Null)
                          << "поле «rout»: ожидается целое число, а не null";
    QTest::newRow("above its box") << true << CalibrationWith("kuAdcVolt", 1500)
                                   << "поле «kuAdcVolt» = 1500 вне диапазона от 800 до 1200";
    QTest::newRow("offset below its box")
        << true << CalibrationWith("offDacVolt", -201)
        << "поле «offDacVolt» = -201 вне диапазона от -200 до 200";
    QTest::newRow("fine offset has the wider box")
        << true << CalibrationWith("offAdcCurrFine", 900) << "";
    QTest::newRow("nothing of a block")
        << true << QJsonObject{{"comment", 1}} << "нет поля «kuDacVolt»";
    QTest::newRow("user parameters") << false << SomeUserParams(0) << "";
    QTest::newRow("any life counter") << false << SomeUserParams(123456) << "";
    QTest::newRow("life counter must be there")
        << false << SomeUserParams(missing) << "нет поля «lifeCounter»";
    QTest::newRow("life counter must be a number")
        << false << SomeUserParams("lots")
        << "поле «lifeCounter»: ожидается целое число, а не строка";
    QTest::newRow("calibration is not user parameters")
        << false << CalibrationToJson(SomeCalibration()) << "лишнее поле «kuDacVolt»";
}

void CliCoreTest::blockFromJson()
{
    QFETCH(bool, calibration);
    QFETCH(QJsonObject, object);
    QFETCH(QString, problems);
    QStringList found;
    bool accepted = false;
    if (calibration) {
        const std::optional<CalibrationBlock> block = CalibrationFromJson(object, found);
        accepted = block.has_value();
    } else {
        const std::optional<UserParamBlock> block = UserParamsFromJson(object, found);
        accepted = block.has_value();
        if (block)
            QCOMPARE(block->lifeCounter, 0); // sent as 0, whatever the file says
    }
    QCOMPARE(accepted, problems.isEmpty());
    QCOMPARE(found.isEmpty(), problems.isEmpty());
    if (!problems.isEmpty())
        QVERIFY2(found.contains(problems), qPrintable(found.join(QLatin1Char('\n'))));
}

void CliCoreTest::blockRoundTrip()
{
    QStringList problems;
    const CalibrationBlock sent = SomeCalibration();
    const std::optional<CalibrationBlock> back =
        CalibrationFromJson(CalibrationToJson(sent), problems);
    QVERIFY(back);
    for (const BlockField<CalibrationBlock> &field : CalibrationFields)
        QCOMPARE(back.value().*field.member, sent.*field.member);
    // A block read from the device is written as it came, outside the boxes' ranges too.
    CalibrationBlock odd;
    odd.kuDacVolt = 65535;
    QCOMPARE(CalibrationToJson(odd).value("kuDacVolt").toInt(), 65535);
}

void CliCoreTest::blockFiles()
{
    QTemporaryDir dir;
    auto write = [&dir](const char *name, const QByteArray &text) {
        QFile file(dir.filePath(QLatin1String(name)));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(text);
    };
    write("bad.json", "{\n  \"rout\": 1,\n  oops\n}");
    write("array.json", "[1, 2]");
    write("huge.json", QByteArray(100 * 1024, ' ') + "{}");
    QString problem;
    QVERIFY(!ReadJsonObjectFile(dir.filePath("none.json"), problem));
    QVERIFY2(problem.contains("не найден"), qPrintable(problem));
    QVERIFY(!ReadJsonObjectFile(dir.filePath("bad.json"), problem));
    QVERIFY2(problem.contains("строка 3, столбец"), qPrintable(problem));
    QVERIFY(!ReadJsonObjectFile(dir.filePath("array.json"), problem));
    QVERIFY2(problem.contains("ожидается объект JSON"), qPrintable(problem));
    QVERIFY(!ReadJsonObjectFile(dir.filePath("huge.json"), problem));
    QVERIFY2(problem.contains("слишком велик"), qPrintable(problem));

    const QJsonObject block = CalibrationToJson(SomeCalibration());
    QVERIFY(WriteJsonFile(dir.filePath("cal.json"), block, problem));
    QCOMPARE(ReadJsonObjectFile(dir.filePath("cal.json"), problem).value_or(QJsonObject()), block);
    QVERIFY(!WriteJsonFile(dir.filePath("no/such/folder/cal.json"), block, problem));
    QVERIFY2(problem.startsWith("Не удается сохранить файл"), qPrintable(problem));
}

void CliCoreTest::backupPath_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("taken");
    QTest::addColumn<QString>("expected");
    // An absolute folder on this platform ("Z:/data" under Wine).
    const QString data = QFileInfo(QStringLiteral("/data")).absoluteFilePath();
    QTest::newRow("beside the file")
        << data + "/cal.json" << QStringList() << data + "/cal.backup-20240506-070809.json";
    QTest::newRow("name without .json")
        << data + "/cal" << QStringList() << data + "/cal.backup-20240506-070809.json";
    QTest::newRow("upper-case suffix")
        << data + "/My.Cal.JSON" << QStringList() << data + "/My.Cal.backup-20240506-070809.json";
    QTest::newRow("name taken twice") << data + "/cal.json"
                                      << QStringList{data + "/cal.backup-20240506-070809.json",
                                                     data + "/cal.backup-20240506-070809-2.json"}
                                      << data + "/cal.backup-20240506-070809-3.json";
}

void CliCoreTest::backupPath()
{
    QFETCH(QString, file);
    QFETCH(QStringList, taken);
    const QDateTime now(QDate(2024, 5, 6), QTime(7, 8, 9));
    QTEST(BackupPath(file, now, [&taken](const QString &path) { return taken.contains(path); }),
          "expected");
}

void CliCoreTest::openFailure_data()
{
    QTest::addColumn<int>("error");
    QTest::addColumn<bool>("known");
    QTest::addColumn<bool>("exists");
    QTest::addColumn<bool>("readWrite");
    QTest::addColumn<int>("expected");
    const int permission = QSerialPort::PermissionError;
    QTest::newRow("locked by another program")
        << permission << true << true << true << int(Failure::PortBusy);
    QTest::newRow("no rights to the device")
        << permission << true << true << false << int(Failure::PortPermission);
    QTest::newRow("refused on Windows")
        << permission << false << false << false << int(Failure::PortBusy);
    QTest::newRow("not found") << int(QSerialPort::DeviceNotFoundError) << true << false << false
                               << int(Failure::PortMissing);
    QTest::newRow("not found on Windows") << int(QSerialPort::DeviceNotFoundError) << false << false
                                          << false << int(Failure::PortMissing);
    QTest::newRow("no file, other error")
        << int(QSerialPort::UnknownError) << true << false << false << int(Failure::PortMissing);
    QTest::newRow("other error") << int(QSerialPort::UnsupportedOperationError) << true << true
                                 << true << int(Failure::PortOther);
}

void CliCoreTest::openFailure()
{
    QFETCH(int, error);
    QFETCH(bool, known);
    QFETCH(bool, exists);
    QFETCH(bool, readWrite);
    QFETCH(int, expected);
    const Failure failure = ClassifyOpenFailure(QSerialPort::SerialPortError(error),
                                                PortFile{known, exists, readWrite});
    QCOMPARE(int(failure), expected);
}

void CliCoreTest::remoteAddress_data()
{
    QTest::addColumn<QString>("text");
    // "host port", or a piece of the problem.
    QTest::addColumn<QString>("expected");
    QTest::newRow("host") << "127.0.0.1"
                          << "127.0.0.1 5025";
    QTest::newRow("host and port") << "bench-pc:5026"
                                   << "bench-pc 5026";
    QTest::newRow("highest port") << "h:65535"
                                  << "h 65535";
    QTest::newRow("IPv6 in brackets") << "[::1]:5000"
                                      << "::1 5000";
    QTest::newRow("IPv6 in brackets, no port") << "[fe80::1]"
                                               << "fe80::1 5025";
    // Without brackets the last group belongs to the address.
    QTest::newRow("bare IPv6") << "fe80::1:5025"
                               << "fe80::1:5025 5025";
    QTest::newRow("port 0") << "h:0"
                            << "порт: «0» вне диапазона от 1 до 65535";
    QTest::newRow("port too high") << "h:65536"
                                   << "«65536» вне диапазона";
    QTest::newRow("port negative") << "h:-1"
                                   << "«-1» вне диапазона";
    QTest::newRow("port a word") << "h:scpi"
                                 << "«scpi» — не целое число";
    QTest::newRow("port empty") << "h:"
                                << "«» — не целое число";
    QTest::newRow("no host") << ":5025"
                             << "ожидается УЗЕЛ[:ПОРТ]";
    QTest::newRow("nothing") << ""
                             << "ожидается УЗЕЛ[:ПОРТ]";
    QTest::newRow("unclosed bracket") << "[::1:5025"
                                      << "в квадратных скобках — адрес IPv6";
    QTest::newRow("IPv4 in brackets") << "[127.0.0.1]:5025"
                                      << "в квадратных скобках — адрес IPv6";
    QTest::newRow("text after brackets") << "[::1]5025"
                                         << "в квадратных скобках — адрес IPv6";
    QTest::newRow("colons, not IPv6") << "a:b:c"
                                      << "адрес IPv6 с портом пишется так: [::1]:5025";
}

void CliCoreTest::remoteAddress()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QString problem;
    const std::optional<RemoteAddress> address = ParseRemoteAddress(text, problem);
    if (address)
        QCOMPARE(QStringLiteral("%1 %2").arg(address->host).arg(address->port), expected);
    else
        QVERIFY2(problem.contains(expected), qPrintable(problem));
}

void CliCoreTest::scpiReading_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<double>("stepsPerUnit");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("steps");
    QTest::addColumn<int>("decimals");
    const int value = int(ScpiReading::Kind::Value);
    const int stale = int(ScpiReading::Kind::Stale);
    const int malformed = int(ScpiReading::Kind::Malformed);
    auto row = [](const char *name, const char *answer, double stepsPerUnit, int kind, int steps,
                  int decimals) {
        QTest::newRow(name) << QByteArray(answer) << stepsPerUnit << kind << steps << decimals;
    };
    row("volts to 10 mV", "12.34", 100, value, 1234, 2);
    row("amperes to mA", "0.567", 1000, value, 567, 3);
    row("fine current to 0.1 mA", "0.0545", 10000, value, 545, 4);
    row("exponent", "+1.2340E+01", 100, value, 1234, 4);
    row("negative", "-0.02", 100, value, -2, 2);
    row("whole number", "3", 1, value, 3, 0);
    row("rounded, not cut", "0.0099999", 100, value, 1, 7);
    row("not a number", "9.91E+37", 100, stale, 0, 0);
    row("not a number, signed", "+9.91E+37", 1, stale, 0, 0);
    row("too large for a field", "1E+30", 100, malformed, 0, 0);
    row("word", "ON", 1, malformed, 0, 0);
    row("empty", "", 1, malformed, 0, 0);
    row("two numbers", "12.34,5", 100, malformed, 0, 0);
    row("decimal comma", "12,34", 100, malformed, 0, 0);
    row("infinity", "inf", 1, malformed, 0, 0);
    row("nan", "nan", 1, malformed, 0, 0);
}

void CliCoreTest::scpiReading()
{
    QFETCH(QByteArray, answer);
    QFETCH(double, stepsPerUnit);
    const ScpiReading reading = ParseScpiReading(answer, stepsPerUnit);
    QTEST(int(reading.kind), "kind");
    QTEST(int(reading.steps), "steps");
    QTEST(reading.decimals, "decimals");
}

void CliCoreTest::scpiQueueEntry_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("code"); // 1: not an entry
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("failure");
    QTest::addColumn<QString>("reason");
    const int none = 1;
    const int noReply = int(Failure::NoReply);
    const int badReply = int(Failure::BadReply);
    QTest::newRow("empty queue") << QByteArray("0,\"No error\"") << 0 << "No error" << badReply
                                 << "";
    QTest::newRow("stale") << QByteArray("-230,\"Data corrupt or stale\"") << -230
                           << "Data corrupt or stale" << noReply << "преобразователь не отвечает";
    QTest::newRow("no converter") << QByteArray("-241,\"Hardware missing\"") << -241
                                  << "Hardware missing" << noReply
                                  << "к панели не подключён преобразователь";
    QTest::newRow("write not answered")
        << QByteArray("-240,\"Hardware error;no reply from converter\"") << -240
        << "Hardware error;no reply from converter" << noReply
        << "преобразователь не отвечает (4 попытки)";
    QTest::newRow("write refused") << QByteArray("-240,\"Hardware error;bad reply from converter\"")
                                   << -240 << "Hardware error;bad reply from converter" << badReply
                                   << "неверный ответ преобразователя (4 попытки)";
    QTest::newRow("write failed otherwise")
        << QByteArray("-240,\"Hardware error;setpoints not read\"") << -240
        << "Hardware error;setpoints not read" << badReply
        << "запись не удалась (панель: -240, «Hardware error;setpoints not read»)";
    QTest::newRow("out of range, a cap")
        << QByteArray("-222,\"Data out of range\"") << -222 << "Data out of range"
        << int(Failure::Usage)
        << "панель отклонила значение: выше ограничения уставки в её защите или вне пределов "
           "(панель: -222, «Data out of range»)";
    QTest::newRow("quote in the text")
        << QByteArray("-113,\"Undefined header;\"\"X\"\"\"") << -113 << "Undefined header;\"X\""
        << badReply << "панель не приняла команду";
    QTest::newRow("without quotes") << QByteArray("0,No error") << none << "" << badReply << "";
    QTest::newRow("a reading") << QByteArray("12.34") << none << "" << badReply << "";
    QTest::newRow("empty") << QByteArray() << none << "" << badReply << "";
}

void CliCoreTest::scpiQueueEntry()
{
    QFETCH(QByteArray, answer);
    QFETCH(int, code);
    QFETCH(QString, reason);
    const std::optional<ScpiQueueEntry> entry = ParseScpiQueueEntry(answer);
    QCOMPARE(entry.has_value(), code != 1);
    if (!entry)
        return;
    QCOMPARE(entry->code, code);
    QTEST(entry->text, "text");
    if (code == 0)
        return;
    const ScpiFailure failure = FailureOfQueueEntry(*entry);
    QTEST(int(failure.failure), "failure");
    QVERIFY2(failure.reason.contains(reason), qPrintable(failure.reason));
}

void CliCoreTest::exitStatuses()
{
    const QVector<QPair<Failure, int>> statuses{
        {Failure::Usage, 2},          {Failure::PortBusy, 3},  {Failure::PortMissing, 3},
        {Failure::PortPermission, 3}, {Failure::PortOther, 3}, {Failure::NoPanel, 3},
        {Failure::CountersBusy, 3},   {Failure::NoReply, 4},   {Failure::BadReply, 5},
        {Failure::BadFile, 6}};
    QStringList keys;
    for (const auto &[failure, status] : statuses) {
        QCOMPARE(ExitStatusOf(failure), status);
        keys << FailureKey(failure);
    }
    QCOMPARE(keys.join(' '), QStringLiteral("usage port-busy port-missing port-permission "
                                            "port-open no-panel counters-busy no-reply bad-reply "
                                            "bad-file"));
    QCOMPARE(FailureOf(NoReply), Failure::NoReply);
    QCOMPARE(FailureOf(BadReply), Failure::BadReply);
}

void CliCoreTest::resultText_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("expected");

    const OutputStatus status{1234, 567, 0, 1, 0, 1};
    const OutputStatus fine{5, 1234, 1, 0, 1, 0};
    const AdcReadings adc{12345, 567, 5678, 24000, 7, 2500};
    QTest::newRow("status") << ResultText::Status(status, false)
                            << QByteArray("voltage 12.34 V\ncurrent 0.567 A\ncv on\ncc off\n"
                                          "output on\nfineRange off\n");
    QTest::newRow("status, fine range") << ResultText::Status(fine, false)
                                        << QByteArray("voltage 0.05 V\ncurrent 0.1234 A\ncv off\n"
                                                      "cc on\noutput off\nfineRange on\n");
    QTest::newRow("status JSON")
        << ResultText::Status(status, true)
        << QByteArray("{\"cc\":false,\"current\":0.567,\"cv\":true,\"fineRange\":false,"
                      "\"output\":true,\"voltage\":12.34}\n");
    QTest::newRow("adc") << ResultText::Adc(adc, false)
                         << QByteArray("sdadcVoltage 12.345 V\nsdadcCurrent 0.567 A\n"
                                       "fineCurrent 0.5678 A\ninputVoltage 24.000 V\n"
                                       "referenceVoltage 2.500 V\n");
    QTest::newRow("setpoints") << ResultText::SetpointValues(Setpoints{12000, 5}, false)
                               << QByteArray("voltage 12.000 V\ncurrent 0.005 A\n");
    QTest::newRow("setpoints JSON") << ResultText::SetpointValues(Setpoints{12000, 1500}, true)
                                    << QByteArray("{\"current\":1.5,\"voltage\":12}\n");
    QTest::newRow("output") << ResultText::Output(false, false) << QByteArray("output off\n");
    const LogEntry entry{LogSample{12340, 5670}, QStringLiteral("00:00:01"),
                         QStringLiteral("00:00:01 12,340 0,5670\n")};
    QTest::newRow("log line as the panel writes it")
        << ResultText::LogEntryLine(entry, false) << QByteArray("00:00:01 12,340 0,5670\n");
    QTest::newRow("log line JSON")
        << ResultText::LogEntryLine(entry, true)
        << QByteArray("{\"current\":0.567,\"time\":\"00:00:01\",\"voltage\":12.34}\n");
    QTest::newRow("counters") << ResultText::Counters(SomeCounters(), false)
                              << QByteArray(
                                     "charge 0.125000 Ah\nenergy 1.50014 Wh\nonTime 3600.25 s\n"
                                     "gapTime 0.500000 s\nresetAt 2026-12-01T08:00:00.250Z\n");
    QTest::newRow("counters JSON, every digit")
        << ResultText::Counters(SomeCounters(), true)
        << QByteArray("{\"charge\":0.125,\"energy\":1.500138888,\"gapTime\":0.5,"
                      "\"onTime\":3600.25,\"resetAt\":\"2026-12-01T08:00:00.250Z\"}\n");
    QTest::newRow("counters never reset")
        << ResultText::Counters(CounterValues(), false)
        << QByteArray("charge 0 Ah\nenergy 0 Wh\nonTime 0 s\ngapTime 0 s\nresetAt never\n");
    QTest::newRow("counters never reset JSON")
        << ResultText::Counters(CounterValues(), true)
        << QByteArray("{\"charge\":0,\"energy\":0,\"gapTime\":0,\"onTime\":0,"
                      "\"resetAt\":null}\n");
    CounterValues remote = SomeCounters();
    remote.resetKnown = false;
    QTest::newRow("counters without a reset time")
        << ResultText::Counters(remote, false)
        << QByteArray("charge 0.125000 Ah\nenergy 1.50014 Wh\nonTime 3600.25 s\n"
                      "gapTime 0.500000 s\n");
    QTest::newRow("counters without a reset time JSON")
        << ResultText::Counters(remote, true)
        << QByteArray("{\"charge\":0.125,\"energy\":1.500138888,\"gapTime\":0.5,"
                      "\"onTime\":3600.25}\n");
    CounterValues extremes;
    extremes.ampereHours = 6.944444444e-8; // 1 mA for 0.25 s
    extremes.wattHours = 123456789.4;
    extremes.onSeconds = 999999.7;
    extremes.gapSeconds = 0.0999999;
    QTest::newRow("counters, six digits at any size")
        << ResultText::Counters(extremes, false)
        << QByteArray("charge 0.0000000694444 Ah\nenergy 123456789 Wh\nonTime 1000000 s\n"
                      "gapTime 0.0999999 s\nresetAt never\n");
    QTest::newRow("fact") << ResultText::Fact("backup", "/d/c.json", false)
                          << QByteArray("backup /d/c.json\n");
    QTest::newRow("error") << ResultText::Error(Failure::PortBusy, "занят", false)
                           << QByteArray("vornexctl: занят\n");
    QTest::newRow("error JSON")
        << ResultText::Error(Failure::NoReply, "нет \"ответа\"", true)
        << QByteArray("{\"error\":\"no-reply\",\"message\":\"нет \\\"ответа\\\"\"}\n");
}

void CliCoreTest::resultText()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, expected);
    QCOMPARE(QString::fromUtf8(text), QString::fromUtf8(expected));
}

void CliCoreTest::scpiCount_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<std::optional<double>>("value");
    QTest::newRow("fraction") << QByteArray("0.125") << std::optional<double>(0.125);
    QTest::newRow("exponent") << QByteArray("1.50013888E+00") << std::optional<double>(1.50013888);
    QTest::newRow("whole") << QByteArray("3600") << std::optional<double>(3600);
    QTest::newRow("zero") << QByteArray("0") << std::optional<double>(0);
    QTest::newRow("spaces") << QByteArray(" 2.5 ") << std::optional<double>(2.5);
    QTest::newRow("not a number") << QByteArray("9.91E+37") << std::optional<double>();
    QTest::newRow("negative") << QByteArray("-1") << std::optional<double>();
    QTest::newRow("infinite") << QByteArray("inf") << std::optional<double>();
    QTest::newRow("word") << QByteArray("ON") << std::optional<double>();
    QTest::newRow("an error entry")
        << QByteArray("-113,\"Undefined header\"") << std::optional<double>();
    QTest::newRow("empty") << QByteArray() << std::optional<double>();
}

void CliCoreTest::scpiCount()
{
    QFETCH(QByteArray, answer);
    QTEST(ParseScpiCount(answer), "value");
}

void CliCoreTest::setpointCaps_data()
{
    QTest::addColumn<QString>("setpoints"); // volts and amperes as typed
    QTest::addColumn<double>("voltageCap"); // 0: none
    QTest::addColumn<double>("currentCap");
    QTest::addColumn<QString>("problem");
    QTest::newRow("no caps") << "30 9.999" << 0.0 << 0.0 << "";
    QTest::newRow("below") << "9.99 1" << 10.0 << 2.0 << "";
    QTest::newRow("at the caps") << "10 2" << 10.0 << 2.0 << "";
    QTest::newRow("voltage above")
        << "10.01 1" << 10.0 << 2.0
        << "напряжение 10.01 В выше ограничения уставки 10.00 В (защита панели); ничего не "
           "отправлено";
    QTest::newRow("current above")
        << "5 2.001" << 0.0 << 2.0 << "ток 2.001 А выше ограничения уставки 2.000 А";
    QTest::newRow("both above: the voltage named")
        << "12 3" << 10.0 << 2.0 << "напряжение 12.00 В выше ограничения уставки 10.00 В";
    QTest::newRow("a cap finer than a setpoint") << "1.235 1" << 0.0 << 0.0 << "";
    // A cap finer than a count is rounded to whole mA (mV) as the panel's server rounds it.
    QTest::newRow("a fine cap, shown as set")
        << "5 1.236" << 0.0 << 1.2346 << "ток 1.236 А выше ограничения уставки 1.2346 А";
    QTest::newRow("at a fine cap rounded up") << "5 1.235" << 0.0 << 1.2346 << "";
    QTest::newRow("a voltage cap rounded up") << "10.01 1" << 10.0096 << 0.0 << "";
    QTest::newRow("a voltage cap rounded down")
        << "10.01 1" << 10.0049 << 0.0 << "напряжение 10.01 В выше ограничения уставки 10.0049 В";
}

void CliCoreTest::setpointCaps()
{
    QFETCH(QString, setpoints);
    QFETCH(double, voltageCap);
    QFETCH(double, currentCap);
    QFETCH(QString, problem);
    const ParsedCommandLine parsed = ParseCommandLine(
        QStringLiteral("set %1 --port p").arg(setpoints).split(QLatin1Char(' ')), {});
    if (QTest::currentDataTag() == QLatin1String("a cap finer than a setpoint")) {
        // The parser keeps the setpoints to their boxes' resolution before any cap is asked.
        QVERIFY(!parsed.error.isEmpty());
        return;
    }
    QVERIFY2(parsed.error.isEmpty(), qPrintable(parsed.error));
    ProtectionSettings protection;
    if (voltageCap > 0)
        protection.voltageCap = voltageCap;
    if (currentCap > 0)
        protection.currentCap = currentCap;
    const QString found = SetpointCapProblem(parsed.command.setpoints, protection);
    if (problem.isEmpty())
        QCOMPARE(found, QString());
    else
        QVERIFY2(found.startsWith(problem), qPrintable(found));
}

// The panel's folder is named after its executable, whatever vornexctl's own name.
void CliCoreTest::panelDataFolder()
{
    QTemporaryDir home;
    QVERIFY(home.isValid());
    const QByteArray savedData = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
    const QString own = QCoreApplication::applicationName();
    const QString folder = PanelDataFolder();
    if (savedData.isNull())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", savedData);
    QCOMPARE(QCoreApplication::applicationName(), own);
    QCOMPARE(QCoreApplication::organizationName(), QString());
#ifdef Q_OS_UNIX
    QCOMPARE(folder, home.path() + QStringLiteral("/vornexcontrol"));
#else
    QVERIFY2(folder.endsWith(QStringLiteral("/vornexcontrol")), qPrintable(folder));
#endif
}

void CliCoreTest::panelCountersRead()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString path = folder.filePath(DeviceGuard::CounterFileName());

    CounterFileResult result = ReadPanelCounters(folder.path());
    QVERIFY(result.values);
    QCOMPARE(ResultText::Counters(*result.values, false),
             ResultText::Counters(CounterValues(), false));
    QVERIFY2(result.note.contains(QStringLiteral("все по нулям")), qPrintable(result.note));

    EnergyTotals totals;
    totals.ampereSeconds = 450;
    totals.joules = 5400.5;
    totals.onSeconds = 3600.25;
    totals.gapSeconds = 0.5;
    totals.resetAt = QDateTime(QDate(2026, 12, 1), QTime(8, 0), Qt::UTC);
    QCOMPARE(CounterFile::Save(path, totals), QString());
    result = ReadPanelCounters(folder.path());
    QVERIFY(result.values);
    QCOMPARE(result.note, QString());
    QCOMPARE(result.values->ampereHours, 0.125);
    QCOMPARE(result.values->wattHours, 5400.5 / 3600);
    QCOMPARE(result.values->onSeconds, 3600.25);
    QCOMPARE(result.values->gapSeconds, 0.5);
    QCOMPARE(result.values->resetAt, totals.resetAt);
    QVERIFY(result.values->resetKnown);

    for (const QByteArray &damaged :
         {QByteArray("{\"ampereSeconds\": 1"), QByteArray("[]"), QByteArray(),
          QByteArray("{\"ampereSeconds\":-1,\"joules\":0,\"onSeconds\":0,\"gapSeconds\":0}")}) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(damaged);
        file.close();
        result = ReadPanelCounters(folder.path());
        QVERIFY2(!result.values, damaged.constData());
        QCOMPARE(result.failure, Failure::BadFile);
        QVERIFY2(result.message.startsWith(QStringLiteral("счётчики панели не прочитаны: «")),
                 qPrintable(result.message));
        QVERIFY2(result.message.contains(QDir::toNativeSeparators(path)),
                 qPrintable(result.message));
    }
}

void CliCoreTest::panelCountersReset()
{
    QTemporaryDir home;
    QVERIFY(home.isValid());
    // A folder the panel has not made yet.
    const QString folder = home.filePath(QStringLiteral("vornexcontrol"));
    const QString path = QDir(folder).filePath(DeviceGuard::CounterFileName());
    QVERIFY(QDir().mkpath(folder));
    EnergyTotals counted;
    counted.ampereSeconds = 7;
    QCOMPARE(CounterFile::Save(path, counted), QString());

    // A panel keeps the counters: nothing is written.
    {
        QLockFile panel(QDir(folder).filePath(DeviceGuard::CounterLockName()));
        QVERIFY(panel.tryLock(0));
        const CounterFileResult refused =
            ResetPanelCounters(folder, QDateTime::currentDateTimeUtc());
        QVERIFY(!refused.values);
        QCOMPARE(refused.failure, Failure::CountersBusy);
        QCOMPARE(ExitStatusOf(refused.failure), 3);
        QVERIFY2(refused.message.contains(QStringLiteral("их ведёт работающая панель")),
                 qPrintable(refused.message));
        QCOMPARE(CounterFile::Load(path).totals->ampereSeconds, 7.0);
    }

    const QDateTime at(QDate(2026, 12, 11), QTime(9, 30, 0, 125), Qt::UTC);
    const CounterFileResult reset = ResetPanelCounters(folder, at);
    QVERIFY2(reset.values, qPrintable(reset.message));
    QCOMPARE(reset.values->resetAt, at);
    QCOMPARE(reset.values->ampereHours, 0.0);
    EnergyTotals zero;
    zero.resetAt = at;
    const CounterFile::Loaded loaded = CounterFile::Load(path);
    QVERIFY(loaded.totals);
    QVERIFY(*loaded.totals == zero);
    // The lock is the panel's again once the reset has ended.
    QVERIFY(!QFileInfo::exists(QDir(folder).filePath(DeviceGuard::CounterLockName())));

    // Without a folder nothing is read or written, not even in the current one.
    QVERIFY(!ReadPanelCounters(QString()).values);
    QCOMPARE(ResetPanelCounters(QString(), at).failure, Failure::BadFile);
    QVERIFY(!QFileInfo::exists(DeviceGuard::CounterFileName()));

    // A reset also makes a folder that is not there yet.
    const QString fresh = home.filePath(QStringLiteral("other/vornexcontrol"));
    QVERIFY(ResetPanelCounters(fresh, at).values);
    QVERIFY(CounterFile::Load(QDir(fresh).filePath(DeviceGuard::CounterFileName())).totals);
}

QTEST_GUILESS_MAIN(CliCoreTest)
#include "tst_clicore.moc"
