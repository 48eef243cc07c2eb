#include "app/blockboxes.h"
#include "app/blockpage.h"
#include "link/blockfields.h"
#include "link/quantities.h"
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
    void everyBoxHasItsField();
    void pagesSendOnlyWhatIsEditedThere();
    void boxValueInDeviceUnits_data();
    void boxValueInDeviceUnits();

private:
    QMainWindow *window = nullptr;
    Ui_MainWindow ui;
};

namespace {

template <typename Block, std::size_t N>
void AddFieldRows(const char *page, const std::array<BlockField<Block>, N> &fields)
{
    for (std::size_t i = 0; i < N; ++i) {
        const BlockField<Block> &field = fields[i];
        QTest::newRow(field.name) << QString::fromLatin1(page)
                                  << QString::fromLatin1(BoxesOf<Block>()[i].box)
                                  << field.range.minimum << field.range.maximum;
    }
}

template <std::size_t N> QStringList BoxNames(const std::array<FieldBox, N> &boxes)
{
    QStringList names;
    for (const FieldBox &box : boxes)
        names << QString::fromLatin1(box.box);
    names.sort();
    return names;
}

// A block shown with every field far beyond its box, then taken back: a field edited on the page
// comes back as its box's limit, one the page never sends as the record held it.
template <typename Block, std::size_t N>
void CheckTakenBack(const QWidget &page, const std::array<BlockField<Block>, N> &fields,
                    const QStringList &keptFromRecord)
{
    constexpr qint32 Huge = 50000;
    Block record;
    for (const BlockField<Block> &field : fields)
        record.*field.member = Huge;
    const BlockPage<Block> boxes(page, fields);
    boxes.Show(record);
    const Block taken = boxes.Take(record);
    const Block shown = boxes.Shown();
    for (const BlockField<Block> &field : fields) {
        const bool kept = keptFromRecord.contains(QLatin1String(field.name));
        QVERIFY2(taken.*field.member == (kept ? Huge : field.range.maximum), field.name);
        QVERIFY2(shown.*field.member == field.range.maximum, field.name);
    }
}

QStringList SpinBoxesOn(const QWidget *page)
{
    QStringList names;
    for (const QSpinBox *spin : page->findChildren<QSpinBox *>())
        names << spin->objectName();
    names.sort();
    return names;
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

// The service pages are tab_3 (calibration) and tab_5 (user parameters).
void FormLimitsTest::blockBoxes_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("box");
    QTest::addColumn<int>("minimum");
    QTest::addColumn<int>("maximum");
    AddFieldRows("tab_3", CalibrationFields);
    AddFieldRows("tab_5", UserParamFields);
}

void FormLimitsTest::blockBoxes()
{
    QFETCH(QString, page);
    QFETCH(QString, box);
    QFETCH(int, minimum);
    QFETCH(int, maximum);
    const auto *pageWidget = window->findChild<QWidget *>(page);
    QVERIFY(pageWidget != nullptr);
    auto *spin = pageWidget->findChild<QSpinBox *>(box);
    QVERIFY2(spin != nullptr, qPrintable(box));
    QCOMPARE(spin->minimum(), minimum);
    QCOMPARE(spin->maximum(), maximum);
}

// A box the form gains on a service page, without a field in the table, shows up here.
void FormLimitsTest::everyBoxHasItsField()
{
    QCOMPARE(SpinBoxesOn(ui.tab_3), BoxNames(CalibrationBoxes));
    QCOMPARE(SpinBoxesOn(ui.tab_5), BoxNames(UserParamBoxes));
}

// The fine pair is only shown on the calibration page; the life counter is counted by the device.
void FormLimitsTest::pagesSendOnlyWhatIsEditedThere()
{
    CheckTakenBack(*ui.tab_3, CalibrationFields, {"kuAdcCurrFine", "offAdcCurrFine"});
    CheckTakenBack(*ui.tab_5, UserParamFields, {"lifeCounter"});
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
    const Quantity quantity = box == QLatin1String("doubleSpinBoxV") ? Quantity::SetpointVoltage
                                                                     : Quantity::SetpointCurrent;
    QCOMPARE(ToCounts(quantity, spin->value()), milli);
}

QTEST_MAIN(FormLimitsTest)
#include "tst_formlimits.moc"
