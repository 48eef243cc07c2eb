#include "app/mainwindow.h"
#include "settings/settingsstore.h"

#include "tests/support/messageboxwatcher.h"
#include "tests/support/panelwindow.h"

#include <QAction>
#include <QComboBox>
#include <QLCDNumber>
#include <QLabel>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QSettings>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QtTest>

// The window as an operator finds it after start-up, before any port is opened.
class MainWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void disconnectedState_data();
    void disconnectedState();
    void tabCaptions();
    void toolbarOrder();
    void lampsAndDisplays();
    void logButtonIcons();
    void extraPortsComeFirst();
    void aboutBoxIsModalAndNamesVersions();

private:
    QAction *action(const char *objectName) const { return PanelAction(*window, objectName); }
    // Outlives the window, as the application's does.
    const std::unique_ptr<QSettings> store = OpenSettingsStore();
    std::unique_ptr<MainWindow> window;
};

void MainWindowTest::init()
{
    window = OpenPanelWindow(store.get(), {});
}

void MainWindowTest::cleanup()
{
    window.reset();
}

void MainWindowTest::disconnectedState_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("enabled");

    QTest::newRow("panel page") << "tab" << false;
    QTest::newRow("log page") << "tab_4" << true;
    QTest::newRow("adc page") << "tab_2" << true;
    QTest::newRow("calibration page") << "tab_3" << true;
    QTest::newRow("user page") << "tab_5" << true;
    QTest::newRow("read calibration") << "pushButtonReadCalibr" << false;
    QTest::newRow("apply calibration") << "pushButtonApplyCalibr" << false;
    QTest::newRow("read user") << "pushButtonReadUserParam" << true;
    QTest::newRow("apply user") << "pushButtonApplyUserParam" << true;
    QTest::newRow("log start") << "pushButtonLogStart" << true;
    QTest::newRow("log stop") << "pushButtoLogStop" << false;
    QTest::newRow("log clear") << "pushButtonLogClear" << true;
    QTest::newRow("log save") << "pushButtonLogSave" << true;
    QTest::newRow("log settings") << "pushButtonLogParam" << true;
    QTest::newRow("counter reset") << "pushButtonResetCounters" << false;
    QTest::newRow("protection settings") << "toolButtonProtection" << true;
}

void MainWindowTest::disconnectedState()
{
    QFETCH(QString, name);
    QFETCH(bool, enabled);
    auto *widget = window->findChild<QWidget *>(name);
    QVERIFY2(widget != nullptr, qPrintable(name));
    QCOMPARE(widget->isEnabled(), enabled);

    QVERIFY(action("actionConnect")->isEnabled());
    QVERIFY(!action("actionDisconnect")->isEnabled());
    QVERIFY(window->findChild<QComboBox *>()->isEnabled());
    auto *timer = window->findChild<QTimer *>();
    QVERIFY(timer != nullptr);
    QCOMPARE(timer->interval(), 250);
    QVERIFY(!timer->isActive());
}

void MainWindowTest::tabCaptions()
{
    auto *tabs = window->findChild<QTabWidget *>("tabWidget");
    const QStringList expected{"Панель", "Лог", "АЦП", "Калибр.", "UserMenu", "График"};
    QCOMPARE(tabs->count(), expected.size());
    for (int i = 0; i < expected.size(); ++i)
        QCOMPARE(tabs->tabText(i), expected.at(i));
    QCOMPARE(tabs->currentIndex(), 0);
    QCOMPARE(window->windowTitle(), QString("VORNEXcontrol"));
}

void MainWindowTest::toolbarOrder()
{
    auto *toolbar = window->findChild<QToolBar *>("mainToolBar");
    QCOMPARE(toolbar->iconSize(), QSize(32, 32));
    QStringList shape;
    for (QAction *item : toolbar->actions()) {
        if (item->isSeparator())
            shape << "|";
        else if (QWidget *widget = toolbar->widgetForAction(item);
                 widget != nullptr && qobject_cast<QLabel *>(widget) != nullptr)
            shape << "label:" + qobject_cast<QLabel *>(widget)->text();
        else if (qobject_cast<QComboBox *>(toolbar->widgetForAction(item)) != nullptr)
            shape << "ports";
        else
            shape << item->text() + ":" + item->statusTip();
    }
    const QStringList expected{"Подключить:Подключить прибор",
                               "Отключить:Отключить прибор",
                               "|",
                               "label:  Номер\n  порта",
                               "ports",
                               "|",
                               "|",
                               "О программе:О программе"};
    QCOMPARE(shape, expected);

    auto *ports = window->findChild<QComboBox *>();
    QCOMPARE(ports->width(), 65);
    QCOMPARE(ports->height(), 25);
    auto *label = qobject_cast<QLabel *>(toolbar->widgetForAction(toolbar->actions().at(3)));
    QVERIFY(label->font().bold());
    QCOMPARE(label->minimumWidth(), 60);
    for (const char *name : {"actionConnect", "actionDisconnect", "actionAbout"})
        QVERIFY2(!action(name)->icon().isNull(), name);
}

void MainWindowTest::lampsAndDisplays()
{
    const QImage red = QPixmap(":/new/prefix1/rec/LED_ON_RED.png").toImage();
    const QImage green = QPixmap(":/new/prefix1/rec/LED_ON_GREEN.png").toImage();
    QCOMPARE(window->findChild<QLabel *>("label_cc")->pixmap(Qt::ReturnByValue).toImage(), red);
    QCOMPARE(window->findChild<QLabel *>("label_cv")->pixmap(Qt::ReturnByValue).toImage(), green);
    QCOMPARE(window->findChild<QLCDNumber *>("lcdNumberV")->value(), 0.0);
    QCOMPARE(window->findChild<QLCDNumber *>("lcdNumberA")->value(), 0.0);
    QCOMPARE(window->findChild<QLabel *>("labelAmA")->text(), QString("   A"));
}

void MainWindowTest::logButtonIcons()
{
    const QStringList names{"pushButtoLogStop", "pushButtonLogStart", "pushButtonLogClear",
                            "pushButtonLogParam", "pushButtonLogSave"};
    for (const QString &name : names) {
        auto *button = window->findChild<QPushButton *>(name);
        QVERIFY2(!button->icon().isNull(), qPrintable(name));
        QVERIFY(button->text().isEmpty());
    }
}

void MainWindowTest::extraPortsComeFirst()
{
    // Extra ports are listed while they exist; a missing one is left out.
    QTemporaryDir dir;
    const QString a = dir.filePath("vornex-a");
    const QString b = dir.filePath("vornex-b");
    QFile(a).open(QIODevice::WriteOnly);
    QFile(b).open(QIODevice::WriteOnly);
    const std::unique_ptr<QSettings> store = OpenSettingsStore();
    const std::unique_ptr<MainWindow> withExtra =
        OpenPanelWindow(store.get(), {a, dir.filePath("missing"), b});
    auto *ports = withExtra->findChild<QComboBox *>();
    QVERIFY(ports->count() >= 2);
    QCOMPARE(ports->itemText(0), a);
    QCOMPARE(ports->itemText(1), b);
    QCOMPARE(ports->currentIndex(), 0);
    QCOMPARE(ports->count(), 2 + QSerialPortInfo::availablePorts().size());
}

void MainWindowTest::aboutBoxIsModalAndNamesVersions()
{
    MessageBoxWatcher watcher;
    bool wasModal = false;
    QTimer probe;
    probe.setInterval(1);
    connect(&probe, &QTimer::timeout, this, [&] {
        if (QApplication::activeModalWidget() != nullptr)
            wasModal = true;
    });
    probe.start();
    action("actionAbout")->trigger();
    QCOMPARE(watcher.seen.size(), 1);
    QVERIFY(wasModal);
    const QString shown = watcher.seen.first();
    QVERIFY(shown.startsWith("О программе|"));
    QVERIFY(shown.contains("VORNEXcontrol"));
    QVERIFY(shown.contains(QStringLiteral(VORNEXCONTROL_VERSION)));
    QVERIFY(shown.contains(QString::fromLatin1(qVersion())));
}

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
