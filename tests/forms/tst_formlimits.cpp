#include "session/setpointunits.h"
#include "session/valuelimits.h"
#include "ui_mainwindow.h"

#include <QtTest>

// The window's boxes against the limits every other front end uses: if the form changes, the
// shared numbers have to follow (and the other way round).
class FormLimitsTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void setpointBoxes_data();
    void setpointBoxes();
    void blockBoxes_data();
    void blockBoxes();
    void everyFieldHasItsBox();
    void boxValueInDeviceUnits_data();
    void boxValueInDeviceUnits();

private:
    QMainWindow *window = nullptr;
    Ui_MainWindow ui;
};

namespace {

// Block field to spin box, as the window moves values between them.
const QMap<QString, QString> &BoxOfField()
{
    static const QMap<QString, QString> boxes{
        {"kuDacVolt", "spinBoxKuDacVolt"},
        {"kuAdcVolt", "spinBoxKuAdcVolt"},
        {"kuDacCurr", "spinBoxKuDacCurr"},
        {"kuAdcCurr", "spinBoxKuAdcCurr"},
        {"kuAdcCurrFine", "spinBoxKuAdcCurrFune"},
        {"offDacVolt", "spinBoxOffDacVolt"},
        {"offAdcVolt", "spinBoxOffAdcVolt"},
        {"offDacCurr", "spinBoxOffDacCurr"},
        {"offAdcCurr", "spinBoxOffAdcCurr"},
        {"offAdcCurrFine", "spinBoxOffAdcCurrFine"},
        {"rout", "spinBoxRout"},
        {"nvpStatus", "spinBoxNVPstatus"},
        {"lifeCounter", "spinBoxLifeCounter"},
        {"currTrigStat", "spinBoxCurrTrigStat"},
        {"currTrigTime", "spinBoxCurrTrigTime"},
        {"ioutMax", "spinBoxIoutMax"},
        {"uoutMax", "spinBoxUoutMax"},
        {"poutMax", "spinBoxPoutMax"},
        {"routUser", "spinBoxRoutUser"},
        {"fanGainCurrent", "spinBoxFanGainCurrent"},
        {"fanDelay", "spinBoxFanDelay"},
        {"fanDutyOff", "spinBoxFanDutyOff"},
    };
    return boxes;
}

template <typename Block> void AddFieldRows(const std::array<BlockField<Block>, 11> &fields)
{
    for (const BlockField<Block> &field : fields)
        QTest::newRow(field.name) << QString::fromLatin1(field.name) << field.range.minimum
                                  << field.range.maximum;
}

} // namespace

void FormLimitsTest::init()
{
    window = new QMainWindow;
    ui.setupUi(window);
}

void FormLimitsTest::cleanup()
{
    delete window;
    window = nullptr;
}

void FormLimitsTest::setpointBoxes_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<double>("minimum");
    QTest::addColumn<double>("maximum");
    QTest::addColumn<int>("decimals");
    const DecimalRange volts = ValueLimits::SetpointVolts;
    const DecimalRange amps = ValueLimits::SetpointAmps;
    QTest::newRow("volts") << "doubleSpinBoxV" << volts.minimum << volts.maximum << volts.decimals;
    QTest::newRow("amps") << "doubleSpinBoxA" << amps.minimum << amps.maximum << amps.decimals;
}

void FormLimitsTest::setpointBoxes()
{
    QFETCH(QString, box);
    QFETCH(double, minimum);
    QFETCH(double, maximum);
    QFETCH(int, decimals);
    auto *spin = window->findChild<QDoubleSpinBox *>(box);
    QVERIFY(spin != nullptr);
    QCOMPARE(spin->minimum(), minimum);
    QCOMPARE(spin->maximum(), maximum);
    QCOMPARE(spin->decimals(), decimals);
}

void FormLimitsTest::blockBoxes_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("minimum");
    QTest::addColumn<int>("maximum");
    AddFieldRows(CalibrationFields);
    AddFieldRows(UserParamFields);
}

void FormLimitsTest::blockBoxes()
{
    QFETCH(QString, field);
    QFETCH(int, minimum);
    QFETCH(int, maximum);
    auto *spin = window->findChild<QSpinBox *>(BoxOfField().value(field));
    QVERIFY2(spin != nullptr, qPrintable(field));
    QCOMPARE(spin->minimum(), minimum);
    QCOMPARE(spin->maximum(), maximum);
}

// A box the form gains or loses on the service pages shows up here.
void FormLimitsTest::everyFieldHasItsBox()
{
    QStringList boxes;
    for (QWidget *page : {ui.tab_3, ui.tab_5}) {
        for (const QSpinBox *spin : page->findChildren<QSpinBox *>())
            boxes << spin->objectName();
    }
    QStringList mapped = BoxOfField().values();
    boxes.sort();
    mapped.sort();
    QCOMPARE(boxes, mapped);
}

void FormLimitsTest::boxValueInDeviceUnits_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("milli");
    QTest::newRow("12.34 V") << "doubleSpinBoxV" << 12.34 << 12340;
    QTest::newRow("0.01 V") << "doubleSpinBoxV" << 0.01 << 10;
    QTest::newRow("30 V") << "doubleSpinBoxV" << 30.0 << 30000;
    QTest::newRow("1.5 A") << "doubleSpinBoxA" << 1.5 << 1500;
    QTest::newRow("0.005 A") << "doubleSpinBoxA" << 0.005 << 5;
    QTest::newRow("9.999 A") << "doubleSpinBoxA" << 9.999 << 9999;
    QTest::newRow("0.123 A") << "doubleSpinBoxA" << 0.123 << 123;
}

// What a box holds after it was given a value becomes what the panel sends.
void FormLimitsTest::boxValueInDeviceUnits()
{
    QFETCH(QString, box);
    QFETCH(double, value);
    QFETCH(int, milli);
    auto *spin = window->findChild<QDoubleSpinBox *>(box);
    spin->setValue(value);
    QCOMPARE(SetpointMilli(spin->value()), milli);
}

QTEST_MAIN(FormLimitsTest)
#include "tst_formlimits.moc"
