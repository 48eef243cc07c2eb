#include "link/quantities.h"

#include <QtTest>

#include <limits>

Q_DECLARE_METATYPE(Quantity)

// The scale of every quantity, as every front end shows it: one place to get a count wrong.
class QuantitiesTest : public QObject
{
    Q_OBJECT

private slots:
    void inUnits_data();
    void inUnits();
    void currentByRange_data();
    void currentByRange();
    void rescaled_data();
    void rescaled();
    void fewerDecimals_data();
    void fewerDecimals();
    void fromUnits_data();
    void fromUnits();
};

namespace {
constexpr qint32 most = std::numeric_limits<qint32>::max();
constexpr qint32 least = std::numeric_limits<qint32>::min();

void Row(const char *name, Quantity quantity, qint64 counts, double value, const char *text,
         const char *unit)
{
    QTest::newRow(name) << quantity << counts << value << QString(text) << QString(unit);
}
} // namespace

void QuantitiesTest::inUnits_data()
{
    QTest::addColumn<Quantity>("quantity");
    QTest::addColumn<qint64>("counts");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("unit");

    Row("output voltage", Quantity::OutputVoltage, 1234, 12.34, "12.34", "V");
    Row("output voltage zero", Quantity::OutputVoltage, 0, 0.0, "0.00", "V");
    Row("output voltage most negative", Quantity::OutputVoltage, least, -21474836.48,
        "-21474836.48", "V");
    Row("output current", Quantity::OutputCurrent, 1234, 1.234, "1.234", "A");
    Row("output current negative", Quantity::OutputCurrent, -5, -0.005, "-0.005", "A");
    Row("output fine current", Quantity::OutputFineCurrent, 1234, 0.1234, "0.1234", "A");
    Row("output fine current most", Quantity::OutputFineCurrent, most, 214748.3647, "214748.3647",
        "A");
    Row("sdadc voltage", Quantity::SdadcVoltage, 12345, 12.345, "12.345", "V");
    Row("sdadc current", Quantity::SdadcCurrent, 2500, 2.5, "2.500", "A");
    Row("fine current", Quantity::FineCurrent, -15, -0.0015, "-0.0015", "A");
    Row("input voltage", Quantity::InputVoltage, 24000, 24.0, "24.000", "V");
    Row("reference voltage", Quantity::ReferenceVoltage, 3300, 3.3, "3.300", "V");
    Row("setpoint voltage", Quantity::SetpointVoltage, 12340, 12.34, "12.340", "V");
    Row("setpoint current", Quantity::SetpointCurrent, 5, 0.005, "0.005", "A");
    Row("log voltage beyond a record", Quantity::LogVoltage, qint64(most) * 10, 21474836.47,
        "21474836.470", "V");
    Row("log current", Quantity::LogCurrent, 5670, 0.567, "0.5670", "A");
}

void QuantitiesTest::inUnits()
{
    QFETCH(Quantity, quantity);
    QFETCH(qint64, counts);
    QFETCH(double, value);
    QFETCH(QString, text);
    QFETCH(QString, unit);
    QCOMPARE(ToUnits(quantity, counts), value);
    QCOMPARE(UnitsText(quantity, counts), text);
    QCOMPARE(QString::fromLatin1(ScaleOf(quantity).unit), unit);
}

// The range is a byte of the status reply: anything but 0 is the fine one.
void QuantitiesTest::currentByRange_data()
{
    QTest::addColumn<qint32>("range");
    QTest::addColumn<Quantity>("quantity");
    QTest::newRow("normal") << 0 << Quantity::OutputCurrent;
    QTest::newRow("fine") << 1 << Quantity::OutputFineCurrent;
    QTest::newRow("fine, other byte") << 255 << Quantity::OutputFineCurrent;
}

void QuantitiesTest::currentByRange()
{
    QFETCH(qint32, range);
    QFETCH(Quantity, quantity);
    OutputStatus status;
    status.currentRange = range;
    QCOMPARE(CurrentQuantity(status), quantity);
    QCOMPARE(OnFineCurrentRange(status), quantity == Quantity::OutputFineCurrent);
}

// What the log takes from each read: mV and 0.1 mA, exactly.
void QuantitiesTest::rescaled_data()
{
    QTest::addColumn<Quantity>("from");
    QTest::addColumn<qint64>("counts");
    QTest::addColumn<Quantity>("to");
    QTest::addColumn<qint64>("rescaled");
    QTest::newRow("output voltage")
        << Quantity::OutputVoltage << qint64(1234) << Quantity::LogVoltage << qint64(12340);
    QTest::newRow("output voltage most")
        << Quantity::OutputVoltage << qint64(most) << Quantity::LogVoltage << qint64(most) * 10;
    QTest::newRow("output current")
        << Quantity::OutputCurrent << qint64(-7) << Quantity::LogCurrent << qint64(-70);
    QTest::newRow("output fine current")
        << Quantity::OutputFineCurrent << qint64(1234) << Quantity::LogCurrent << qint64(1234);
    QTest::newRow("sdadc voltage")
        << Quantity::SdadcVoltage << qint64(least) << Quantity::LogVoltage << qint64(least);
    QTest::newRow("sdadc current")
        << Quantity::SdadcCurrent << qint64(2500) << Quantity::LogCurrent << qint64(25000);
    QTest::newRow("fine current") << Quantity::FineCurrent << qint64(0) << Quantity::LogCurrent
                                  << qint64(0);
    QTest::newRow("to coarser counts, half up")
        << Quantity::LogCurrent << qint64(15) << Quantity::OutputCurrent << qint64(2);
}

void QuantitiesTest::rescaled()
{
    QFETCH(Quantity, from);
    QFETCH(qint64, counts);
    QFETCH(Quantity, to);
    QFETCH(qint64, rescaled);
    QCOMPARE(Rescaled(from, counts, to), rescaled);
}

void QuantitiesTest::fewerDecimals_data()
{
    QTest::addColumn<Quantity>("quantity");
    QTest::addColumn<qint64>("counts");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<qint64>("steps");
    QTest::newRow("as many") << Quantity::OutputCurrent << qint64(1234) << 3 << qint64(1234);
    QTest::newRow("rounds down") << Quantity::OutputFineCurrent << qint64(1234) << 3 << qint64(123);
    QTest::newRow("half up") << Quantity::OutputFineCurrent << qint64(1235) << 3 << qint64(124);
    QTest::newRow("half away from zero")
        << Quantity::OutputFineCurrent << qint64(-15) << 3 << qint64(-2);
    QTest::newRow("below half") << Quantity::OutputFineCurrent << qint64(4) << 3 << qint64(0);
    QTest::newRow("most") << Quantity::OutputFineCurrent << qint64(most) << 3 << qint64(214748365);
    QTest::newRow("whole units") << Quantity::SdadcVoltage << qint64(-12500) << 0 << qint64(-13);
}

void QuantitiesTest::fewerDecimals()
{
    QFETCH(Quantity, quantity);
    QFETCH(qint64, counts);
    QFETCH(int, decimals);
    QFETCH(qint64, steps);
    QCOMPARE(CountsAtDecimals(quantity, counts, decimals), steps);
}

// A value a double holds as a hair below its counts still gives them.
void QuantitiesTest::fromUnits_data()
{
    QTest::addColumn<Quantity>("quantity");
    QTest::addColumn<double>("units");
    QTest::addColumn<qint32>("counts");
    QTest::newRow("1.005 A") << Quantity::SetpointCurrent << 1.005 << 1005;
    QTest::newRow("2.01 V") << Quantity::SetpointVoltage << 2.01 << 2010;
    QTest::newRow("zero") << Quantity::SetpointVoltage << 0.0 << 0;
}

void QuantitiesTest::fromUnits()
{
    QFETCH(Quantity, quantity);
    QFETCH(double, units);
    QFETCH(qint32, counts);
    QCOMPARE(ToCounts(quantity, units), counts);
}

QTEST_GUILESS_MAIN(QuantitiesTest)
#include "tst_quantities.moc"
