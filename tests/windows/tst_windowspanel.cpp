#include "app/mainwindow.h"
#include "emulatorconsole.h"
#include "log/logjournal.h"
#include "session/portexists.h"
#include "settings/settingskeys.h"
#include "settings/settingsstore.h"
#include "tests/support/messageboxwatcher.h"
#include "tests/support/panelwindow.h"
#include "tests/support/restoreanswer.h"
#include "tests/support/savedialoganswer.h"

#include <QAction>
#include <QComboBox>
#include <QPushButton>
#include <QSettings>
#include <QTextEdit>
#include <QtTest>

#include <memory>

namespace {

constexpr int waitMs = 10000;
// Four attempts, each waiting out its reply time, and the poll reads between them.
constexpr int unansweredWriteMs = 30000;

// The COM port the test rig maps to the emulator; a port name that no device has.
const QString testPortVariable = QStringLiteral("VORNEX_TEST_COM_PORT");
const QString absentPort = QStringLiteral("COM98");

const QString registryStore = QStringLiteral(R"(HKEY_CURRENT_USER\Software\brenta\TALMIR)");

QByteArray Contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList Offered(const MainWindow &window)
{
    auto *ports = window.findChild<QComboBox *>();
    QStringList names;
    for (int i = 0; ports != nullptr && i < ports->count(); ++i)
        names << ports->itemText(i);
    return names;
}

} // namespace

// The panel on Windows: its journal under %APPDATA%, its settings in the registry, COM ports
// named in VORNEX_EXTRA_PORTS, and a converter that takes requests and stops answering.
class WindowsPanelTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void leftoverJournalInAppDataIsRestoredAndExported();
    void portExistsByDeviceName_data();
    void portExistsByDeviceName();
    void comPortIsOfferedRememberedInTheRegistryAndAWriteFailsAfterItsAttempts();
};

void WindowsPanelTest::initTestCase()
{
    // Qt's own file dialog, which a test can answer, in place of the system's.
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
}

void WindowsPanelTest::init()
{
    QSettings(registryStore, QSettings::NativeFormat).clear();
    QDir(LogJournal::DefaultFolder()).removeRecursively();
}

void WindowsPanelTest::leftoverJournalInAppDataIsRestoredAndExported()
{
    const QString folder = QDir::toNativeSeparators(LogJournal::DefaultFolder());
    const QString appData = qEnvironmentVariable("APPDATA");
    QVERIFY(!appData.isEmpty());
    QVERIFY2(folder.startsWith(appData + QLatin1Char('\\'), Qt::CaseInsensitive),
             qPrintable(folder));

    const QByteArray lines = "12.000 0.5000\n12.010 0.5010\n";
    QVERIFY(QDir().mkpath(folder));
    QFile leftover(QDir(folder).filePath(QStringLiteral("journal-1.txt")));
    QVERIFY(leftover.open(QIODevice::WriteOnly));
    leftover.write(lines);
    leftover.close();

    RestoreAnswer restore(QMessageBox::Yes);
    const std::unique_ptr<QSettings> store = OpenSettingsStore();
    MainWindow window(store.get());
    window.show();
    QCOMPARE(restore.asked, QStringList{"Восстановить лог предыдущего сеанса?"});
    auto *log = window.findChild<QTextEdit *>(QStringLiteral("textEditLog"));
    QCOMPARE(log->toPlainText().toLatin1(), lines);

    QTemporaryDir exportFolder;
    const QString exported = exportFolder.filePath(QStringLiteral("restored.txt"));
    SaveDialogAnswer save(exported);
    QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("pushButtonLogSave")),
                      Qt::LeftButton);
    QCOMPARE(save.shown, 1);
    QCOMPARE(Contents(exported), lines);
}

void WindowsPanelTest::portExistsByDeviceName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("exists");
    const QString port = qEnvironmentVariable(qPrintable(testPortVariable));
    if (!port.isEmpty()) {
        QTest::newRow("mapped port") << port << true;
        QTest::newRow("mapped port, device path") << QStringLiteral("\\\\.\\") + port << true;
        QTest::newRow("mapped port, lower case") << port.toLower() << true;
    }
    QTest::newRow("absent port") << absentPort << false;
    QTest::newRow("absent port, device path") << QStringLiteral("\\\\.\\") + absentPort << false;
    QTest::newRow("a folder") << QDir::toNativeSeparators(QDir::tempPath()) << true;
    QTest::newRow("a missing file") << QStringLiteral("C:\\no-such-port") << false;
}

void WindowsPanelTest::portExistsByDeviceName()
{
    QFETCH(QString, name);
    QTEST(PortExists(name), "exists");
}

void WindowsPanelTest::comPortIsOfferedRememberedInTheRegistryAndAWriteFailsAfterItsAttempts()
{
    const QString port = qEnvironmentVariable(qPrintable(testPortVariable));
    if (port.isEmpty())
        QSKIP("VORNEX_TEST_COM_PORT names no mapped COM port");

    MessageBoxWatcher boxes;
    const std::unique_ptr<QSettings> store = OpenSettingsStore();
    const std::unique_ptr<MainWindow> shown = OpenPanelWindow(store.get(), {port, absentPort});
    const MainWindow &window = *shown;
    QCOMPARE(Offered(window).value(0), port);
    QVERIFY(!Offered(window).contains(absentPort));

    PanelAction(window, "actionConnect")->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(
        QSettings(registryStore, QSettings::NativeFormat).value(SettingsKeys::lastPort).toString(),
        port, waitMs);

    EmulatorConsole console;
    if (!console.Connect())
        QSKIP("VORNEX_TEST_EMULATOR_CONSOLE names no emulator console");
    QVERIFY(!console.Ask(QStringLiteral("fault silent")).isEmpty());
    const int before = console.RequestCount();
    QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("pushButtonApply")),
                      Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(boxes.seen.contains(QStringLiteral("Error|Ошибка записи")),
                             unansweredWriteMs);
    QCOMPARE(console.RequestsFrom(before).filter(QStringLiteral("write setpoints")).size(), 4);
    QVERIFY(!console.Ask(QStringLiteral("fault none")).isEmpty());
}

QTEST_MAIN(WindowsPanelTest)
#include "tst_windowspanel.moc"
