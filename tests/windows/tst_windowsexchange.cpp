#include "app/mainwindow.h"
#include "emulatorconsole.h"
#include "log/logjournal.h"
#include "session/devicesession.h"
#include "settings/settingsstore.h"
#include "tests/support/messageboxwatcher.h"
#include "tests/support/panelwindow.h"
#include "tests/support/savedialoganswer.h"

#include <QAction>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLCDNumber>
#include <QLabel>
#include <QPushButton>
#include <QSerialPort>
#include <QSettings>
#include <QSpinBox>
#include <QTextEdit>
#include <QtTest>

#include <memory>

namespace {

constexpr int waitMs = 10000;
// The lost port is reopened once a second; the emulator is away for three.
constexpr int recoveryMs = 30000;

const QString registryStore = QStringLiteral(R"(HKEY_CURRENT_USER\Software\brenta\TALMIR)");

QByteArray Contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// What the emulator made of each request, e.g. "read status", without its time and frame.
QStringList Meanings(const QStringList &logLines)
{
    QStringList meanings;
    for (const QString &line : logLines)
        meanings << line.section(QStringLiteral("  "), -1).trimmed();
    return meanings;
}

} // namespace

// The Windows panel against the emulator on the Linux side of the rig, on the COM port named in
// VORNEX_TEST_COM_PORT with its 9200-8N1 line check on, driven as an operator would; the
// emulator's console tells what reached it.
class WindowsExchangeTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void pollsStatusAndAdcOneRequestATick();
    void displaysAndLampsFollowTheConverter();
    void applyAndOutputSwitchReachTheConverter();
    void clickDuringATransactionRunsOnALaterTick();
    void serviceBlocksAreReadAndWritten_data();
    void serviceBlocksAreReadAndWritten();
    void logRunsIntoItsJournalAndExport();
    void lostPortIsReportedAndRecovered();

private:
    template <typename T> T *Widget(const char *name) const
    {
        return PanelWidget<T>(*window, name);
    }
    void Click(const char *button)
    {
        QTest::mouseClick(Widget<QPushButton>(button), Qt::LeftButton);
    }
    void Ask(const QString &command) { QVERIFY(!console.Ask(command).isEmpty()); }
    QString LinkStatus() const { return Widget<QLabel>("labelLinkStatus")->text(); }
    DeviceSession *Session() const { return window->findChild<DeviceSession *>(); }

    QString port;
    EmulatorConsole console;
    // Opened after init() has emptied the registry and kept until the window has gone, as the
    // application's store is.
    std::unique_ptr<QSettings> store;
    std::unique_ptr<MainWindow> window;
};

void WindowsExchangeTest::initTestCase()
{
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    port = qEnvironmentVariable("VORNEX_TEST_COM_PORT");
    if (port.isEmpty() || !console.Connect())
        QSKIP("needs the rig's emulator: VORNEX_TEST_COM_PORT and VORNEX_TEST_EMULATOR_CONSOLE");
}

void WindowsExchangeTest::init()
{
    Ask(QStringLiteral("fault none"));
    Ask(QStringLiteral("set 12000 1000"));
    Ask(QStringLiteral("output on"));
    QSettings(registryStore, QSettings::NativeFormat).clear();
    QDir(LogJournal::DefaultFolder()).removeRecursively();
    store = OpenSettingsStore();
    window = OpenPanelWindow(store.get(), {port});
    PanelAction(*window, "actionConnect")->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(LinkStatus(), QStringLiteral("Подключено: ") + port, waitMs);
}

void WindowsExchangeTest::cleanup()
{
    window.reset();
    store.reset();
}

void WindowsExchangeTest::pollsStatusAndAdcOneRequestATick()
{
    // The first tick's reply shows: the connection's setpoint read is behind us.
    QTRY_COMPARE_WITH_TIMEOUT(Widget<QLCDNumber>("lcdNumberV")->value(), 12.0, waitMs);
    int ticks = 0;
    connect(Session(), &DeviceSession::tickDone, this, [&ticks] { ++ticks; });
    const int first = console.RequestCount();
    constexpr int counted = 40;
    QTRY_VERIFY_WITH_TIMEOUT(ticks >= counted, counted * 1000);
    // A tick's request has gone out and been answered when tickDone comes.
    const QStringList meanings = Meanings(console.RequestsFrom(first));
    const int tickCount = ticks;
    QVERIFY2(meanings.size() == tickCount || meanings.size() == tickCount + 1,
             qPrintable(QStringLiteral("%1 requests in %2 ticks: %3")
                            .arg(meanings.size())
                            .arg(tickCount)
                            .arg(meanings.join(QStringLiteral("; ")))));
    for (int i = 0; i < meanings.size(); ++i) {
        const QString expected =
            meanings.first() == QLatin1String("read status")
                ? (i % 2 == 0 ? QStringLiteral("read status") : QStringLiteral("read ADC"))
                : (i % 2 == 0 ? QStringLiteral("read ADC") : QStringLiteral("read status"));
        QCOMPARE(meanings.at(i), expected);
    }
}

void WindowsExchangeTest::displaysAndLampsFollowTheConverter()
{
    // 12 V across 22 Ω, as the stage's emulator loads its output.
    QTRY_COMPARE_WITH_TIMEOUT(Widget<QLCDNumber>("lcdNumberV")->value(), 12.0, waitMs);
    QCOMPARE(Widget<QLCDNumber>("lcdNumberA")->value(), 0.545);
    QCOMPARE(Widget<QPushButton>("pushButtonOnOff")->text(), QStringLiteral("Выключить"));
    QCOMPARE(Widget<QLabel>("label_cv")->pixmap(Qt::ReturnByValue).toImage(),
             Lamp("LED_ON_GREEN.png"));
    QCOMPARE(Widget<QLabel>("label_cc")->pixmap(Qt::ReturnByValue).toImage(), Lamp("LED_OFF.png"));

    // Into constant current: the current limit below what the load draws at 12 V.
    Ask(QStringLiteral("set 12000 300"));
    QTRY_COMPARE_WITH_TIMEOUT(Widget<QLabel>("label_cc")->pixmap(Qt::ReturnByValue).toImage(),
                              Lamp("LED_ON_RED.png"), waitMs);
    QTRY_COMPARE_WITH_TIMEOUT(Widget<QLCDNumber>("lcdNumberA")->value(), 0.3, waitMs);
    QCOMPARE(Widget<QLabel>("label_cv")->pixmap(Qt::ReturnByValue).toImage(), Lamp("LED_OFF.png"));
}

void WindowsExchangeTest::applyAndOutputSwitchReachTheConverter()
{
    MessageBoxWatcher boxes;
    Widget<QDoubleSpinBox>("doubleSpinBoxV")->setValue(7.5);
    Widget<QDoubleSpinBox>("doubleSpinBoxA")->setValue(0.8);
    Click("pushButtonApply");
    QTRY_COMPARE_WITH_TIMEOUT(console.Shown(QStringLiteral("setpoints (\\d+) mV")), 7500, waitMs);
    QCOMPARE(console.Shown(QStringLiteral("setpoints \\d+ mV (\\d+) mA")), 800);
    QTRY_COMPARE_WITH_TIMEOUT(Widget<QLCDNumber>("lcdNumberV")->value(), 7.5, waitMs);

    QTRY_COMPARE_WITH_TIMEOUT(Widget<QPushButton>("pushButtonOnOff")->text(),
                              QStringLiteral("Выключить"), waitMs);
    Click("pushButtonOnOff");
    QTRY_COMPARE_WITH_TIMEOUT(console.OutputState(), QStringLiteral("off"), waitMs);
    QTRY_COMPARE_WITH_TIMEOUT(Widget<QPushButton>("pushButtonOnOff")->text(),
                              QStringLiteral("Включить"), waitMs);
    Click("pushButtonOnOff");
    QTRY_COMPARE_WITH_TIMEOUT(console.OutputState(), QStringLiteral("on"), waitMs);
    QVERIFY2(boxes.seen.isEmpty(), qPrintable(boxes.seen.join(QLatin1Char(';'))));
}

void WindowsExchangeTest::clickDuringATransactionRunsOnALaterTick()
{
    // Each reply takes a while, so that the click comes while a tick waits for one.
    Ask(QStringLiteral("delay 120"));
    Widget<QDoubleSpinBox>("doubleSpinBoxV")->setValue(9.0);
    bool clicked = false;
    auto *serial = window->findChild<QSerialPort *>();
    connect(serial, &QSerialPort::bytesWritten, this, [&] {
        if (!clicked) {
            clicked = true;
            // From inside the tick: after its request is out and before its reply is in.
            QTimer::singleShot(0, this, [this] { Click("pushButtonApply"); });
        }
    });
    QTRY_COMPARE_WITH_TIMEOUT(console.Shown(QStringLiteral("setpoints (\\d+) mV")), 9000, waitMs);
    QTRY_COMPARE_WITH_TIMEOUT(Widget<QLCDNumber>("lcdNumberV")->value(), 9.0, waitMs);
}

void WindowsExchangeTest::serviceBlocksAreReadAndWritten_data()
{
    QTest::addColumn<QString>("readButton");
    QTest::addColumn<QString>("applyButton");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("written");
    QTest::newRow("calibration") << "pushButtonReadCalibr"
                                 << "pushButtonApplyCalibr"
                                 << "spinBoxOffDacVolt"
                                 << "write calibration";
    QTest::newRow("user parameters") << "pushButtonReadUserParam"
                                     << "pushButtonApplyUserParam"
                                     << "spinBoxUoutMax"
                                     << "write user parameters";
}

void WindowsExchangeTest::serviceBlocksAreReadAndWritten()
{
    QFETCH(QString, readButton);
    QFETCH(QString, applyButton);
    QFETCH(QString, box);
    QFETCH(QString, written);
    MessageBoxWatcher boxes;
    auto *field = Widget<QSpinBox>(qPrintable(box));
    const int sentinel = field->minimum();
    field->setValue(sentinel);
    Click(qPrintable(readButton));
    QTRY_VERIFY_WITH_TIMEOUT(field->value() != sentinel, waitMs);

    const int changed =
        field->value() == field->maximum() ? field->value() - 1 : field->value() + 1;
    field->setValue(changed);
    const int before = console.RequestCount();
    Click(qPrintable(applyButton));
    QTRY_VERIFY_WITH_TIMEOUT(
        Meanings(console.RequestsFrom(before)).join(QLatin1Char(';')).contains(written), waitMs);
    // Read back from the converter: what the page wrote is what it holds.
    field->setValue(sentinel);
    Click(qPrintable(readButton));
    QTRY_COMPARE_WITH_TIMEOUT(field->value(), changed, waitMs);
    QVERIFY2(boxes.seen.isEmpty(), qPrintable(boxes.seen.join(QLatin1Char(';'))));
}

void WindowsExchangeTest::logRunsIntoItsJournalAndExport()
{
    auto *log = Widget<QTextEdit>("textEditLog");
    Click("pushButtonLogStart");
    QTRY_VERIFY_WITH_TIMEOUT(log->toPlainText().count(QLatin1Char('\n')) >= 3, waitMs);
    Click("pushButtoLogStop");
    const QString shown = log->toPlainText();
    QVERIFY2(shown.contains(QStringLiteral("12.000")), qPrintable(shown));

    const QString journal =
        QDir(LogJournal::DefaultFolder()).filePath(QStringLiteral("journal-1.txt"));
    QCOMPARE(QString::fromUtf8(Contents(journal)), shown);
    QTemporaryDir folder;
    const QString exported = folder.filePath(QStringLiteral("log.txt"));
    SaveDialogAnswer save(exported);
    Click("pushButtonLogSave");
    QCOMPARE(save.shown, 1);
    QCOMPARE(QString::fromUtf8(Contents(exported)), shown);
}

void WindowsExchangeTest::lostPortIsReportedAndRecovered()
{
    QTRY_COMPARE_WITH_TIMEOUT(Widget<QLCDNumber>("lcdNumberV")->value(), 12.0, waitMs);
    QStringList errors;
    connect(window->findChild<QSerialPort *>(), &QSerialPort::errorOccurred, this,
            [&errors](QSerialPort::SerialPortError error) {
                if (error != QSerialPort::NoError)
                    errors << QString::fromLatin1(
                        QMetaEnum::fromType<QSerialPort::SerialPortError>().valueToKey(error));
            });
    Ask(QStringLiteral("hangup 3"));
    QTRY_VERIFY_WITH_TIMEOUT(LinkStatus().startsWith(QStringLiteral("Порт потерян: ") + port),
                             waitMs);
    // Wine, as Windows does for an unplugged adapter, ends the port's wait with "access
    // denied" (PermissionError).
    QVERIFY(!errors.isEmpty());
    qInfo("the port reported on losing its device: %s", qPrintable(errors.join(QLatin1Char(' '))));
    Ask(QStringLiteral("set 6000 1000"));
    QTRY_COMPARE_WITH_TIMEOUT(LinkStatus(), QStringLiteral("Подключено: ") + port, recoveryMs);
    QTRY_COMPARE_WITH_TIMEOUT(Widget<QLCDNumber>("lcdNumberV")->value(), 6.0, waitMs);
    QCOMPARE(Widget<QDoubleSpinBox>("doubleSpinBoxV")->value(), 6.0);
}

QTEST_MAIN(WindowsExchangeTest)
#include "tst_windowsexchange.moc"
