#include "app/mainwindow.h"
#include "guard/deviceguard.h"
#include "guard/protectionrecord.h"
#include "settings/settingsstore.h"

#include "tests/support/paneldriver.h"
#include "tests/support/restoreanswer.h"
#include "tests/support/wire.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

namespace {

DeviceGuard *GuardOf(const MainWindow &window)
{
    auto *guard = window.findChild<DeviceGuard *>();
    if (guard == nullptr)
        qFatal("the window has no guard");
    return guard;
}

ProtectionSettings OverVoltage(double level, double delaySeconds)
{
    ProtectionSettings settings;
    settings.voltage = TripLimit{true, level, delaySeconds};
    return settings;
}

} // namespace

// The counters and the protections as the window shows them: the counters on "Панель" and
// their reset, the "Защита" dialog and its store, the setpoint caps on the boxes, and a trip
// against the emulated converter, from the switch-off to the acknowledgement.
class ProtectionPanelTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void countersShownAndResetAfterQuestion();
    void dialogSettingsReachTheNextWindow();
    void capsBoundTheSetpointBoxes_data();
    void capsBoundTheSetpointBoxes();
    void tripSwitchesOffUntilAcknowledged();
};

// A case's settings must not reach the next one through the test's store.
void ProtectionPanelTest::init()
{
    StoreProtectionSettings(*OpenSettingsStore(), ProtectionSettings());
}

void ProtectionPanelTest::countersShownAndResetAfterQuestion()
{
    PanelDriver panel;
    QVERIFY(panel.started);
    panel.emulator.setSetpoints(Setpoints{12000, 1500});
    panel.emulator.setOutputOn(true);
    panel.connectPort();
    auto *charge = panel.widget<QLabel>("labelCharge");
    const QString none = QStringLiteral("0.00000 А·ч");
    // 12 V into the emulator's 10 ohm: every status read adds.
    QTRY_VERIFY_WITH_TIMEOUT(charge->text() != none, TestWaitMs);
    QVERIFY(panel.widget<QLabel>("labelEnergy")->text().endsWith(QStringLiteral(" Вт·ч")));
    QTRY_VERIFY_WITH_TIMEOUT(panel.widget<QLabel>("labelOnTime")->text() != "вкл. 0:00:00",
                             TestWaitMs);
    QVERIFY(panel.widget<QLabel>("labelGap")->text().startsWith(QStringLiteral("без замеров ")));

    {
        RestoreAnswer no(QMessageBox::No);
        panel.click("pushButtonResetCounters");
        QCOMPARE(no.asked.size(), 1);
    }
    QVERIFY(charge->text() != none);

    RestoreAnswer yes(QMessageBox::Yes);
    panel.click("pushButtonResetCounters");
    QCOMPARE(yes.asked.size(), 1);
    // Before the next status read can add to them.
    QCOMPARE(charge->text(), none);
    QCOMPARE(panel.widget<QLabel>("labelOnTime")->text(), QString("вкл. 0:00:00"));
    QVERIFY(panel.widget<QLabel>("labelCountersReset")->text().startsWith(QStringLiteral("с ")));
    QVERIFY(!panel.widget<QLabel>("labelCounterProblem")->isVisible());
}

void ProtectionPanelTest::dialogSettingsReachTheNextWindow()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("panel.ini"));
    ProtectionSettings expected;
    expected.voltage = TripLimit{true, 12.5, 0};
    expected.power = TripLimit{false, 0, 2.25};
    expected.currentCap = 2.5;
    {
        QSettings store(file, QSettings::IniFormat);
        const std::unique_ptr<MainWindow> window = OpenPanelWindow(&store, {});
        QTest::mouseClick(PanelWidget<QToolButton>(*window, "toolButtonProtection"),
                          Qt::LeftButton);
        auto *dialog = PanelWidget<QDialog>(*window, "DialogProtection");
        QVERIFY(dialog->isVisible());
        PanelWidget<QCheckBox>(*dialog, "checkBoxOvp")->setChecked(true);
        PanelWidget<QDoubleSpinBox>(*dialog, "doubleSpinBoxOvpLevel")->setValue(12.5);
        PanelWidget<QDoubleSpinBox>(*dialog, "doubleSpinBoxOvpDelay")->setValue(0);
        PanelWidget<QDoubleSpinBox>(*dialog, "doubleSpinBoxOppDelay")->setValue(2.25);
        PanelWidget<QCheckBox>(*dialog, "checkBoxCurrentCap")->setChecked(true);
        PanelWidget<QDoubleSpinBox>(*dialog, "doubleSpinBoxCurrentCap")->setValue(2.5);
        QTest::mouseClick(dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok),
                          Qt::LeftButton);
        QVERIFY(!dialog->isVisible());
        QCOMPARE(GuardOf(*window)->Settings(), expected);
    }

    QSettings store(file, QSettings::IniFormat);
    const std::unique_ptr<MainWindow> window = OpenPanelWindow(&store, {});
    DeviceGuard *guard = GuardOf(*window);
    QCOMPARE(guard->Settings(), expected);
    QCOMPARE(PanelWidget<QDoubleSpinBox>(*window, "doubleSpinBoxA")->maximum(), 2.5);
    QTest::mouseClick(PanelWidget<QToolButton>(*window, "toolButtonProtection"), Qt::LeftButton);
    auto *dialog = PanelWidget<QDialog>(*window, "DialogProtection");
    auto *ovpLevel = PanelWidget<QDoubleSpinBox>(*dialog, "doubleSpinBoxOvpLevel");
    QCOMPARE(ovpLevel->value(), 12.5);
    QVERIFY(PanelWidget<QCheckBox>(*dialog, "checkBoxCurrentCap")->isChecked());
    QVERIFY(!PanelWidget<QCheckBox>(*dialog, "checkBoxVoltageCap")->isChecked());

    // A script's change shows in the open dialog.
    guard->SetSettings(OverVoltage(20, 0.5));
    QCOMPARE(ovpLevel->value(), 20.0);
    QVERIFY(!PanelWidget<QCheckBox>(*dialog, "checkBoxCurrentCap")->isChecked());
    QVERIFY(!PanelWidget<QDoubleSpinBox>(*dialog, "doubleSpinBoxCurrentCap")->isEnabled());
}

void ProtectionPanelTest::capsBoundTheSetpointBoxes_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<bool>("volts");
    QTest::addColumn<double>("cap");
    QTest::addColumn<double>("uncapped");
    QTest::newRow("voltage") << "doubleSpinBoxV" << true << 12.0 << 30.0;
    QTest::newRow("current") << "doubleSpinBoxA" << false << 1.25 << 9.999;
}

void ProtectionPanelTest::capsBoundTheSetpointBoxes()
{
    QFETCH(QString, box);
    QFETCH(bool, volts);
    QFETCH(double, cap);
    QFETCH(double, uncapped);
    QTemporaryDir dir;
    QSettings store(dir.filePath(QStringLiteral("panel.ini")), QSettings::IniFormat);
    const std::unique_ptr<MainWindow> window = OpenPanelWindow(&store, {});
    DeviceGuard *guard = GuardOf(*window);
    auto *setpoint = window->findChild<QDoubleSpinBox *>(box);
    setpoint->setValue(uncapped);

    ProtectionSettings capped;
    (volts ? capped.voltageCap : capped.currentCap) = cap;
    guard->SetSettings(capped);
    QCOMPARE(setpoint->maximum(), cap);
    QCOMPARE(setpoint->value(), cap);
    setpoint->setValue(uncapped);
    QCOMPARE(setpoint->value(), cap);

    guard->SetSettings(ProtectionSettings());
    QCOMPARE(setpoint->maximum(), uncapped);
    setpoint->setValue(uncapped);
    QCOMPARE(setpoint->value(), uncapped);
}

void ProtectionPanelTest::tripSwitchesOffUntilAcknowledged()
{
    PanelDriver panel;
    QVERIFY(panel.started);
    DeviceGuard *guard = GuardOf(*panel.window);
    guard->SetSettings(OverVoltage(5, 0));
    panel.emulator.setSetpoints(Setpoints{12000, 1500});
    panel.emulator.setOutputOn(true);
    panel.connectPort();

    // The first status read trips; the next tick switches the output off.
    QTRY_VERIFY_WITH_TIMEOUT(!panel.emulator.outputOn(), TestWaitMs);
    QCOMPARE(panel.countFor(Wire::OutputSwitch, Wire::Write), 1);
    QVERIFY(guard->Tripped());
    auto *trip = panel.widget<QLabel>("labelTrip");
    QVERIFY(trip->isVisible());
    QCOMPARE(trip->text(), "OVP: " + TripText(*guard->ActiveTrip()));
    QVERIFY(trip->text().contains(QStringLiteral("напряжение 12.")));
    QCOMPARE(trip->palette().color(QPalette::WindowText), QColor(Qt::red));
    QVERIFY(panel.widget<QLabel>("labelTripRecordProblem")->text().isEmpty());

    auto *output = panel.widget<QPushButton>("pushButtonOnOff");
    QTRY_COMPARE_WITH_TIMEOUT(output->text(), QString("Включить"), TestWaitMs);
    QVERIFY(!output->isEnabled());
    QVERIFY(output->toolTip().contains(trip->text()));
    panel.click("pushButtonOnOff");
    QVERIFY(panel.WaitTicks(4));
    QCOMPARE(panel.countFor(Wire::OutputSwitch, Wire::Write), 1);
    QVERIFY(!panel.emulator.outputOn());

    guard->SetSettings(OverVoltage(20, 0));
    QTest::mouseClick(panel.widget<QToolButton>("toolButtonAcknowledgeTrip"), Qt::LeftButton);
    QVERIFY(!guard->Tripped());
    QVERIFY(!trip->isVisible());
    QVERIFY(output->isEnabled());
    panel.click("pushButtonOnOff");
    QTRY_VERIFY_WITH_TIMEOUT(panel.emulator.outputOn(), TestWaitMs);
    QCOMPARE(panel.countFor(Wire::OutputSwitch, Wire::Write), 2);
}

QTEST_MAIN(ProtectionPanelTest)
#include "tst_protectionpanel.moc"
