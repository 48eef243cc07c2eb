#include "remote/scpierrorqueue.h"
#include "remote/scpiparser.h"

#include <QtTest>

namespace {

// The texts scripts are told for the codes the parser gives (README, "Remote control").
const QMap<int, QByteArray> ErrorTexts = {
    {-102, "Syntax error"},      {-104, "Data type error"},  {-108, "Parameter not allowed"},
    {-109, "Missing parameter"}, {-113, "Undefined header"}, {-131, "Invalid suffix"},
    {-222, "Data out of range"},
};

QString HeaderName(ScpiHeader header)
{
    switch (header) {
    case ScpiHeader::Identify:
        return "Identify";
    case ScpiHeader::ClearStatus:
        return "ClearStatus";
    case ScpiHeader::Reset:
        return "Reset";
    case ScpiHeader::OperationComplete:
        return "OperationComplete";
    case ScpiHeader::Wait:
        return "Wait";
    case ScpiHeader::NextError:
        return "NextError";
    case ScpiHeader::Version:
        return "Version";
    case ScpiHeader::Voltage:
        return "Voltage";
    case ScpiHeader::Current:
        return "Current";
    case ScpiHeader::Output:
        return "Output";
    case ScpiHeader::MeasureVoltage:
        return "MeasureVoltage";
    case ScpiHeader::MeasureCurrent:
        return "MeasureCurrent";
    case ScpiHeader::OperationCondition:
        return "OperationCondition";
    case ScpiHeader::AdcVoltage:
        return "AdcVoltage";
    case ScpiHeader::AdcCurrent:
        return "AdcCurrent";
    case ScpiHeader::AdcFineCurrent:
        return "AdcFineCurrent";
    case ScpiHeader::AdcInput:
        return "AdcInput";
    case ScpiHeader::AdcReference:
        return "AdcReference";
    case ScpiHeader::FetchCharge:
        return "FetchCharge";
    case ScpiHeader::FetchEnergy:
        return "FetchEnergy";
    case ScpiHeader::FetchOnTime:
        return "FetchOnTime";
    case ScpiHeader::FetchGap:
        return "FetchGap";
    case ScpiHeader::AccumulateReset:
        return "AccumulateReset";
    case ScpiHeader::ProtectionLevel:
        return "Protection";
    case ScpiHeader::ProtectionState:
        return "ProtectionState";
    case ScpiHeader::ProtectionDelay:
        return "ProtectionDelay";
    case ScpiHeader::ProtectionTripped:
        return "ProtectionTripped";
    case ScpiHeader::ProtectionClear:
        return "ProtectionClear";
    case ScpiHeader::QuestionableCondition:
        return "QuestionableCondition";
    }
    return "?";
}

bool IsProtection(ScpiHeader header)
{
    return header == ScpiHeader::ProtectionLevel || header == ScpiHeader::ProtectionState ||
           header == ScpiHeader::ProtectionDelay || header == ScpiHeader::ProtectionTripped;
}

QString KindName(TripKind kind)
{
    return kind == TripKind::Voltage ? "Voltage" : kind == TripKind::Current ? "Current" : "Power";
}

// One unit as a table writes it: "-113" for an error, "Voltage 12000" for a setpoint write in
// mV or mA, "Output ON", "Voltage? MAX", "Identify?"; a protection's headers with their kind:
// "VoltageProtection 12000" (mV, mA or mW), "PowerProtectionDelay 500" (ms),
// "CurrentProtectionState ON", "VoltageProtectionTripped?". A unit that is neither a clean command
// nor a known error with its own text reads as something no row expects.
QString Describe(const ScpiUnit &unit)
{
    if (!unit.command) {
        if (ErrorTexts.value(unit.error.code) != unit.error.text)
            return QString("error %1 \"%2\"").arg(unit.error.code).arg(QString(unit.error.text));
        return QString::number(unit.error.code);
    }
    if (!(unit.error == ScpiErrors::NoError()))
        return QString("command with error %1").arg(unit.error.code);
    const ScpiCommand &command = *unit.command;
    QString text = HeaderName(command.header);
    if (IsProtection(command.header))
        text.prepend(KindName(command.protection));
    if (command.query)
        text += '?';
    if (command.limit)
        text += *command.limit == ScpiLimit::Minimum ? " MIN" : " MAX";
    const bool value =
        command.header == ScpiHeader::Voltage || command.header == ScpiHeader::Current ||
        command.header == ScpiHeader::ProtectionLevel || command.header == ScpiHeader::ProtectionDelay;
    if (!command.query && value)
        text += ' ' + QString::number(command.milli);
    const bool switches =
        command.header == ScpiHeader::Output || command.header == ScpiHeader::ProtectionState;
    if (!command.query && switches)
        text += command.on ? " ON" : " OFF";
    return text;
}

// The line itself names its row; bytes that would not print show as \xNN.
void Row(const QByteArray &line, const char *expected)
{
    QByteArray tag;
    for (const char c : line) {
        const uchar byte = uchar(c);
        tag += byte >= 0x20 && byte < 0x7F
                   ? QByteArray(1, c)
                   : "\\x" + QByteArray::number(byte, 16).rightJustified(2, '0');
    }
    if (tag.isEmpty())
        tag = "(empty)";
    QTest::newRow(tag.constData()) << line << QString(expected);
}

void Columns()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("units");
}

QString Entry(const ScpiError &error)
{
    return QString::number(error.code) + ',' + QString(error.text);
}

} // namespace

class TestScpiParser : public QObject
{
    Q_OBJECT

private slots:
    void headers_data();
    void headers() { CheckLine(); }
    void setpointValues_data();
    void setpointValues() { CheckLine(); }
    void outputSwitch_data();
    void outputSwitch() { CheckLine(); }
    void parameterCount_data();
    void parameterCount() { CheckLine(); }
    void counters_data();
    void counters() { CheckLine(); }
    void protectionHeaders_data();
    void protectionHeaders() { CheckLine(); }
    void protectionValues_data();
    void protectionValues() { CheckLine(); }
    void lines_data();
    void lines() { CheckLine(); }
    void errorQueue_data();
    void errorQueue();

private:
    static void CheckLine();
};

void TestScpiParser::CheckLine()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, units);
    QStringList described;
    for (const ScpiUnit &unit : ParseScpiLine(line))
        described << Describe(unit);
    QCOMPARE(described.join("; "), units);
}

void TestScpiParser::headers_data()
{
    Columns();
    // Common commands, in either case, only in the form the table gives.
    Row("*IDN?", "Identify?");
    Row("*idn?", "Identify?");
    Row("*CLS", "ClearStatus");
    Row("*RST", "Reset");
    Row("*OPC?", "OperationComplete?");
    Row("*WAI", "Wait");
    Row("*IDN", "-113");
    Row("*CLS?", "-113");
    Row("*OPC", "-113");
    Row("*WAI?", "-113");
    Row("*FOO?", "-113");

    // Short and long keywords in any case, optional nodes present or left out, a leading colon.
    Row("SYST:ERR?", "NextError?");
    Row("SYSTEM:ERROR:NEXT?", "NextError?");
    Row("syst:err:next?", "NextError?");
    Row("SyStEm:ErRoR?", "NextError?");
    Row("SYST:VERS?", "Version?");
    Row("system:version?", "Version?");
    Row("VOLT 12", "Voltage 12000");
    Row("VOLTAGE 12", "Voltage 12000");
    Row("volt 12", "Voltage 12000");
    Row("SOUR:VOLT 12", "Voltage 12000");
    Row("SOURCE:VOLTAGE:LEVEL:IMMEDIATE:AMPLITUDE 12", "Voltage 12000");
    Row("sour:volt:lev:imm:ampl 12", "Voltage 12000");
    Row("VOLT:LEV 12", "Voltage 12000");
    Row("VOLT:AMPL 12", "Voltage 12000");
    Row("Volt:Level:Imm 12", "Voltage 12000");
    Row(":VOLT 12", "Voltage 12000");
    Row(":SOUR:VOLT 12", "Voltage 12000");
    Row("VOLT?", "Voltage?");
    Row("SOUR:VOLT:LEV:IMM:AMPL?", "Voltage?");
    Row("CURR 1.5", "Current 1500");
    Row("SOURCE:CURRENT:LEVEL:IMMEDIATE:AMPLITUDE 1.5", "Current 1500");
    Row("curr?", "Current?");
    Row("OUTP ON", "Output ON");
    Row("OUTPUT:STATE ON", "Output ON");
    Row("outp:stat off", "Output OFF");
    Row("OUTP?", "Output?");
    Row("OUTP:STAT?", "Output?");
    Row("MEAS:VOLT?", "MeasureVoltage?");
    Row("MEASURE:SCALAR:VOLTAGE:DC?", "MeasureVoltage?");
    Row("MEAS:SCAL:VOLT?", "MeasureVoltage?");
    Row("meas:volt:dc?", "MeasureVoltage?");
    Row("MEAS:CURR?", "MeasureCurrent?");
    Row("MEAS:SCAL:CURR:DC?", "MeasureCurrent?");
    Row("STAT:OPER:COND?", "OperationCondition?");
    Row("STATUS:OPERATION:CONDITION?", "OperationCondition?");
    Row("MEAS:ADC:VOLT?", "AdcVoltage?");
    Row("MEASURE:ADC:VOLTAGE?", "AdcVoltage?");
    Row("MEAS:ADC:CURR?", "AdcCurrent?");
    Row("MEAS:ADC:CURR:FINE?", "AdcFineCurrent?");
    Row("MEASURE:ADC:CURRENT:FINE?", "AdcFineCurrent?");
    Row("meas:adc:curr:fine?", "AdcFineCurrent?");
    Row("MEAS:ADC:INP?", "AdcInput?");
    Row("meas:adc:input?", "AdcInput?");
    Row("MEAS:ADC:REF?", "AdcReference?");
    Row("MEASURE:ADC:REFERENCE?", "AdcReference?");

    // A query-only command without its question mark, or the other way round.
    Row("MEAS:VOLT", "-113");
    Row("MEAS:ADC:REF", "-113");
    Row("MEAS:ADC:CURR:FINE", "-113");
    Row("STAT:OPER:COND", "-113");
    Row("SYST:ERR", "-113");
    Row("SYST:VERS", "-113");

    // Keywords that are neither the short nor the long form, out of order, or not served.
    Row("VOLTA 12", "-113");
    Row("VOL 12", "-113");
    Row("VOLTAGES 12", "-113");
    Row("VOLT:LEV:LEV 12", "-113");
    Row("VOLT:AMPL:LEV 12", "-113");
    Row("SOUR:SOUR:VOLT 12", "-113");
    Row("MEAS?", "-113");
    Row("MEAS:SCAL:ADC:VOLT?", "-113");
    Row("MEAS:ADC:VOLT:DC?", "-113");
    Row("MEAS:ADC:FINE?", "-113");
    Row("MEAS:CURR:FINE?", "-113");
    Row("MEAS:ADC:VOLT:FINE?", "-113");
    Row("MEAS:ADC:CURR:FIN?", "-113");
    Row("STAT:OPER?", "-113");
    Row("CAL:VOLT 1", "-113");
    Row("FOO", "-113");

    // Headers that are not headers at all.
    Row("VOLT::LEV 12", "-102");
    Row("VOLT: 12", "-102");
    Row(":", "-102");
    Row("::VOLT 12", "-102");
    Row("*", "-102");
    Row("* IDN?", "-102");
    Row("1VOLT 12", "-102");
    Row("VOLT?? MIN", "-102");
    Row("VOLT?MIN", "-102");
    Row("*IDN?:", "-102");
}

void TestScpiParser::setpointValues_data()
{
    Columns();
    // Suffixes, in any case, with or without a space before them.
    Row("VOLT 12V", "Voltage 12000");
    Row("VOLT 12 V", "Voltage 12000");
    Row("VOLT 12v", "Voltage 12000");
    Row("VOLT 12000MV", "Voltage 12000");
    Row("VOLT 12000 mV", "Voltage 12000");
    Row("CURR 1.5A", "Current 1500");
    Row("CURR 1.5 a", "Current 1500");
    Row("CURR 1500MA", "Current 1500");
    Row("CURR 1500ma", "Current 1500");
    Row("VOLT 12A", "-131");
    Row("VOLT 12MA", "-131");
    Row("VOLT 12KV", "-131");
    Row("VOLT 12UV", "-131");
    Row("CURR 1.5V", "-131");
    Row("CURR 1.5MV", "-131");
    Row("CURR 1.5UA", "-131");

    // MIN and MAX are the ends of the panel's ranges, for a write and as a query.
    Row("VOLT MIN", "Voltage 10");
    Row("VOLT MAX", "Voltage 30000");
    Row("volt minimum", "Voltage 10");
    Row("VOLT MAXIMUM", "Voltage 30000");
    Row("CURR MIN", "Current 5");
    Row("CURR max", "Current 9999");
    Row("VOLT? MIN", "Voltage? MIN");
    Row("VOLT? MAX", "Voltage? MAX");
    Row("CURR? min", "Current? MIN");
    Row("CURR? MAXIMUM", "Current? MAX");
    Row("VOLT? 12", "-104");
    Row("VOLT? ON", "-104");
    Row("CURR? \"MAX\"", "-104");

    // Rounded to 0.01 V or 0.001 A first, then held to the range.
    Row("VOLT 12.344", "Voltage 12340");
    Row("VOLT 12.346", "Voltage 12350");
    Row("VOLT 12.34", "Voltage 12340");
    Row("VOLT 0.01", "Voltage 10");
    Row("VOLT 0.0051", "Voltage 10");
    Row("VOLT 0.0049", "-222");
    Row("VOLT 0", "-222");
    Row("VOLT -5", "-222");
    Row("VOLT 30", "Voltage 30000");
    Row("VOLT 30.004", "Voltage 30000");
    Row("VOLT 30.006", "-222");
    Row("VOLT 31", "-222");
    Row("VOLT 6MV", "Voltage 10");
    Row("VOLT 4MV", "-222");
    Row("VOLT 30004MV", "Voltage 30000");
    Row("VOLT 30006MV", "-222");
    Row("CURR 0.005", "Current 5");
    Row("CURR 0.0049", "Current 5");
    Row("CURR 0.0044", "-222");
    Row("CURR 9.999", "Current 9999");
    Row("CURR 9.9994", "Current 9999");
    Row("CURR 9.9996", "-222");
    Row("CURR 10", "-222");
    Row("CURR 1.23456", "Current 1235");
    Row("CURR 4.9MA", "Current 5");
    Row("CURR 4.4MA", "-222");
    Row("CURR -1", "-222");
    Row("VOLT 1E400", "-222");
    Row("VOLT -1E400", "-222");
    Row("VOLT 1E-400", "-222");
    Row("CURR 1E18", "-222");

    // Number forms: sign, no digits on one side of the point, leading zeros, exponents.
    Row("VOLT 1.2E1", "Voltage 12000");
    Row("VOLT 1.2e1", "Voltage 12000");
    Row("VOLT 12E-1", "Voltage 1200");
    Row("VOLT 0.012E+3", "Voltage 12000");
    Row("VOLT 1.2E+1V", "Voltage 12000");
    Row("VOLT 12E3MV", "Voltage 12000");
    Row("CURR 15E-1A", "Current 1500");
    Row("VOLT +12", "Voltage 12000");
    Row("VOLT .5", "Voltage 500");
    Row("VOLT 12.", "Voltage 12000");
    Row("VOLT 012", "Voltage 12000");
    Row("VOLT .", "-102");
    Row("VOLT +", "-102");
    Row("VOLT -", "-102");
    Row("VOLT 1.2.3", "-102");
    Row("VOLT 1-2", "-102");
    Row("VOLT 12 V V", "-102");
    Row("VOLT 12 6", "-102");
    Row("VOLT 12V2", "-102");

    // Not a number at all.
    Row("VOLT ON", "-104");
    Row("CURR FOO", "-104");
    Row("VOLT \"12\"", "-104");
    Row("VOLT '12'", "-104");
}

void TestScpiParser::outputSwitch_data()
{
    Columns();
    Row("OUTP ON", "Output ON");
    Row("OUTP OFF", "Output OFF");
    Row("OUTP on", "Output ON");
    Row("OUTP Off", "Output OFF");
    Row("OUTP 1", "Output ON");
    Row("OUTP 0", "Output OFF");
    // A number is rounded; anything but zero is on.
    Row("OUTP 2", "Output ON");
    Row("OUTP -1", "Output ON");
    Row("OUTP 0.4", "Output OFF");
    Row("OUTP 0.6", "Output ON");
    Row("OUTP -0.4", "Output OFF");
    Row("OUTP 1E0", "Output ON");
    Row("OUTP 1E3", "Output ON");
    Row("OUTP 1E400", "Output ON");
    Row("OUTP 1E-400", "Output OFF");
    Row("OUTP MAX", "-104");
    Row("OUTP YES", "-104");
    Row("OUTP \"ON\"", "-104");
    Row("OUTP 1V", "-131");
    Row("OUTP 0 A", "-131");
    Row("OUTP O N", "-102");
}

void TestScpiParser::parameterCount_data()
{
    Columns();
    Row("VOLT", "-109");
    Row("VOLT ", "-109");
    Row("SOUR:VOLT:LEV", "-109");
    Row("CURR", "-109");
    Row("OUTP", "-109");
    Row("OUTP:STAT", "-109");
    Row("VOLT 1,2", "-108");
    Row("VOLT MIN,MAX", "-108");
    Row("OUTP ON,OFF", "-108");
    Row("VOLT? MIN,MAX", "-108");
    Row("*IDN? 1", "-108");
    Row("*IDN? \"x\"", "-108");
    Row("*CLS 1", "-108");
    Row("*RST ON", "-108");
    Row("*OPC? 1", "-108");
    Row("*WAI 1", "-108");
    Row("SYST:ERR? ALL", "-108");
    Row("SYST:VERS? 1", "-108");
    Row("OUTP? 1", "-108");
    Row("MEAS:VOLT? 1", "-108");
    Row("MEAS:VOLT? MIN", "-108");
    Row("MEAS:ADC:REF? 1", "-108");
    Row("MEAS:ADC:CURR:FINE? MIN", "-108");
    Row("STAT:OPER:COND? 1", "-108");
}

void TestScpiParser::counters_data()
{
    Columns();
    Row("FETC:CHAR?", "FetchCharge?");
    Row("FETCH:CHARGE?", "FetchCharge?");
    Row("fetc:char?", "FetchCharge?");
    Row("FETC:ENER?", "FetchEnergy?");
    Row("Fetch:Energy?", "FetchEnergy?");
    Row("FETC:ONT?", "FetchOnTime?");
    Row("FETCH:ONTIME?", "FetchOnTime?");
    Row("FETC:GAP?", "FetchGap?");
    Row("fetch:gap?", "FetchGap?");
    Row("FETC:CHAR?;ENER?;ONT?;GAP?", "FetchCharge?; FetchEnergy?; FetchOnTime?; FetchGap?");
    Row("SENS:ACC:RES", "AccumulateReset");
    Row("SENSE:ACCUMULATE:RESET", "AccumulateReset");
    Row("ACC:RES", "AccumulateReset");
    Row("sens:acc:res;:FETC:CHAR?", "AccumulateReset; FetchCharge?");

    // Queries only, or a command only; no parameters; not the forms in between.
    Row("FETC:CHAR", "-113");
    Row("FETC:GAP", "-113");
    Row("SENS:ACC:RES?", "-113");
    Row("FETC?", "-113");
    Row("FETC:CHA?", "-113");
    Row("FETC:ONTI?", "-113");
    Row("FETC:ENERGIES?", "-113");
    Row("SENS:ACC?", "-113");
    Row("SENS:ACCU:RES", "-113");
    Row("FETC:CHAR? 1", "-108");
    Row("FETC:ENER? MAX", "-108");
    Row("SENS:ACC:RES 1", "-108");
    Row("SENS:ACC:RES ON", "-108");
}

void TestScpiParser::protectionHeaders_data()
{
    Columns();
    // The level, with SOURce and LEVel optional, short and long, any case.
    Row("VOLT:PROT 12", "VoltageProtection 12000");
    Row("VOLT:PROT:LEV 12", "VoltageProtection 12000");
    Row("SOUR:VOLT:PROT 12", "VoltageProtection 12000");
    Row("SOURCE:VOLTAGE:PROTECTION:LEVEL 12", "VoltageProtection 12000");
    Row("volt:prot:lev 12", "VoltageProtection 12000");
    Row(":VOLT:PROT 12", "VoltageProtection 12000");
    Row("VOLT:PROT?", "VoltageProtection?");
    Row("SOUR:VOLT:PROT:LEV?", "VoltageProtection?");
    Row("CURR:PROT 2", "CurrentProtection 2000");
    Row("SOURCE:CURRENT:PROTECTION:LEVEL 2", "CurrentProtection 2000");
    Row("curr:prot?", "CurrentProtection?");
    Row("POW:PROT 50", "PowerProtection 50000");
    Row("POWER:PROTECTION:LEVEL 50", "PowerProtection 50000");
    Row("SOUR:POW:PROT:LEV 50", "PowerProtection 50000");
    Row("POW:PROT?", "PowerProtection?");

    // The state, the delay and the trip of each kind.
    Row("VOLT:PROT:STAT ON", "VoltageProtectionState ON");
    Row("SOURCE:VOLTAGE:PROTECTION:STATE OFF", "VoltageProtectionState OFF");
    Row("VOLT:PROT:STAT?", "VoltageProtectionState?");
    Row("CURR:PROT:STAT 1", "CurrentProtectionState ON");
    Row("POW:PROT:STAT 0", "PowerProtectionState OFF");
    Row("pow:prot:stat?", "PowerProtectionState?");
    Row("VOLT:PROT:DEL 0.5", "VoltageProtectionDelay 500");
    Row("SOURCE:CURRENT:PROTECTION:DELAY 0.5", "CurrentProtectionDelay 500");
    Row("POW:PROT:DEL?", "PowerProtectionDelay?");
    Row("VOLT:PROT:TRIP?", "VoltageProtectionTripped?");
    Row("SOURCE:CURRENT:PROTECTION:TRIPPED?", "CurrentProtectionTripped?");
    Row("pow:prot:trip?", "PowerProtectionTripped?");
    Row("OUTP:PROT:CLE", "ProtectionClear");
    Row("OUTPUT:PROTECTION:CLEAR", "ProtectionClear");
    Row("outp:prot:cle", "ProtectionClear");
    Row("STAT:QUES:COND?", "QuestionableCondition?");
    Row("STATUS:QUESTIONABLE:CONDITION?", "QuestionableCondition?");

    // After a level written with its LEVel, the path is the protection's: its other nodes follow.
    Row("VOLT:PROT:LEV 12;STAT ON;DEL 0",
        "VoltageProtection 12000; VoltageProtectionState ON; VoltageProtectionDelay 0");
    Row("CURR:PROT:LEV?;STAT?;DEL?;TRIP?",
        "CurrentProtection?; CurrentProtectionState?; CurrentProtectionDelay?; "
        "CurrentProtectionTripped?");
    // LEVel left out, the path ends before PROTection, as SCPI has it for an implied node.
    Row("VOLT:PROT 12;PROT:STAT ON", "VoltageProtection 12000; VoltageProtectionState ON");
    Row("VOLT:PROT 12;STAT ON", "VoltageProtection 12000; -113");
    Row("VOLT:PROT 12;VOLT 5", "VoltageProtection 12000; Voltage 5000");
    Row("OUTP:PROT:CLE;OUTP ON", "ProtectionClear; Output ON");
    Row("OUTP:PROT:CLE;:OUTP ON", "ProtectionClear; Output ON");

    // Queries only, or commands only, in their own form; nodes not served or out of order.
    Row("VOLT:PROT:TRIP", "-113");
    Row("VOLT:PROT:TRIP 1", "-113");
    Row("OUTP:PROT:CLE?", "-113");
    Row("STAT:QUES:COND", "-113");
    Row("STAT:QUES?", "-113");
    Row("VOLT:PROT:CLE", "-113");
    Row("OUTP:PROT?", "-113");
    Row("OUTP:PROT 1", "-113");
    Row("VOLT:LEV:PROT 12", "-113");
    Row("PROT:VOLT 12", "-113");
    Row("VOLT:PROT:LEV:LEV 12", "-113");
    Row("VOLT:PROT:STAT:LEV ON", "-113");
    Row("VOLT:PROTE 12", "-113");
    Row("VOLT:PRO 12", "-113");
    Row("VOLT:PROT:DELA 1", "-113");
    Row("VOLT:PROT:TRI?", "-113");
    Row("POWE:PROT 5", "-113");
    Row("POW 5", "-113");
    Row("POW?", "-113");
    Row("MEAS:POW?", "-113");
    Row("SOUR:SOUR:POW:PROT 5", "-113");
}

void TestScpiParser::protectionValues_data()
{
    Columns();
    // Levels: above zero, to 0.01 V, 0.001 A and 0.01 W, up to twice the setpoints' maximum
    // (60 V, 19.998 A) and four times the largest power they allow (4 × 30 V × 9.999 A).
    Row("VOLT:PROT MIN", "VoltageProtection 10");
    Row("VOLT:PROT MAX", "VoltageProtection 60000");
    Row("VOLT:PROT minimum", "VoltageProtection 10");
    Row("VOLT:PROT? MIN", "VoltageProtection? MIN");
    Row("VOLT:PROT? MAXIMUM", "VoltageProtection? MAX");
    Row("VOLT:PROT 60", "VoltageProtection 60000");
    Row("VOLT:PROT 60.004", "VoltageProtection 60000");
    Row("VOLT:PROT 60.006", "-222");
    Row("VOLT:PROT 61", "-222");
    Row("VOLT:PROT 0.01", "VoltageProtection 10");
    Row("VOLT:PROT 0.004", "-222");
    Row("VOLT:PROT 0", "-222");
    Row("VOLT:PROT -1", "-222");
    Row("VOLT:PROT 12.345", "VoltageProtection 12350");
    Row("VOLT:PROT 12.5V", "VoltageProtection 12500");
    Row("VOLT:PROT 12500 mV", "VoltageProtection 12500");
    Row("VOLT:PROT 12A", "-131");
    Row("VOLT:PROT 12W", "-131");
    Row("VOLT:PROT 12S", "-131");
    Row("VOLT:PROT 1E400", "-222");
    Row("CURR:PROT MIN", "CurrentProtection 1");
    Row("CURR:PROT MAX", "CurrentProtection 19998");
    Row("CURR:PROT? MAX", "CurrentProtection? MAX");
    Row("CURR:PROT 19.998", "CurrentProtection 19998");
    Row("CURR:PROT 19.9986", "-222");
    Row("CURR:PROT 20", "-222");
    Row("CURR:PROT 0.0004", "-222");
    Row("CURR:PROT 0.0005", "CurrentProtection 1");
    Row("CURR:PROT 1.5A", "CurrentProtection 1500");
    Row("CURR:PROT 1500MA", "CurrentProtection 1500");
    Row("CURR:PROT 1.5V", "-131");
    Row("POW:PROT MIN", "PowerProtection 10");
    Row("POW:PROT MAX", "PowerProtection 1199880");
    Row("POW:PROT? MIN", "PowerProtection? MIN");
    Row("POW:PROT 1199.88", "PowerProtection 1199880");
    Row("POW:PROT 1199.89", "-222");
    Row("POW:PROT 1200", "-222");
    Row("POW:PROT 0.004", "-222");
    Row("POW:PROT 12.345W", "PowerProtection 12350");
    Row("POW:PROT 500MW", "PowerProtection 500");
    Row("POW:PROT 1.1KW", "PowerProtection 1100000");
    Row("POW:PROT 1.2KW", "-222");
    Row("POW:PROT 5V", "-131");
    Row("POW:PROT 5A", "-131");

    // Delays: 0 to 3600 s in steps of 1 ms; S or MS.
    Row("VOLT:PROT:DEL 0", "VoltageProtectionDelay 0");
    Row("VOLT:PROT:DEL MIN", "VoltageProtectionDelay 0");
    Row("VOLT:PROT:DEL MAX", "VoltageProtectionDelay 3600000");
    Row("VOLT:PROT:DEL? MIN", "VoltageProtectionDelay? MIN");
    Row("CURR:PROT:DEL? MAX", "CurrentProtectionDelay? MAX");
    Row("VOLT:PROT:DEL 3600", "VoltageProtectionDelay 3600000");
    Row("VOLT:PROT:DEL 3600.001", "-222");
    Row("VOLT:PROT:DEL 3601", "-222");
    Row("VOLT:PROT:DEL -0.001", "-222");
    Row("VOLT:PROT:DEL -0.0004", "VoltageProtectionDelay 0");
    Row("VOLT:PROT:DEL 0.0015", "VoltageProtectionDelay 2");
    Row("CURR:PROT:DEL 0.25S", "CurrentProtectionDelay 250");
    Row("CURR:PROT:DEL 250 ms", "CurrentProtectionDelay 250");
    Row("POW:PROT:DEL 2s", "PowerProtectionDelay 2000");
    Row("POW:PROT:DEL 2V", "-131");
    Row("POW:PROT:DEL 2 MIN", "-131");
    Row("VOLT:PROT:DEL 1E400", "-222");

    // States follow OUTPut's boolean rule.
    Row("VOLT:PROT:STAT on", "VoltageProtectionState ON");
    Row("VOLT:PROT:STAT 0.4", "VoltageProtectionState OFF");
    Row("VOLT:PROT:STAT 2", "VoltageProtectionState ON");
    Row("VOLT:PROT:STAT MAX", "-104");
    Row("VOLT:PROT:STAT 1V", "-131");
    Row("VOLT:PROT:STAT \"ON\"", "-104");

    // Not numbers, missing, or too many; queries that take no parameter.
    Row("VOLT:PROT ON", "-104");
    Row("VOLT:PROT \"12\"", "-104");
    Row("CURR:PROT:DEL FOO", "-104");
    Row("VOLT:PROT:DEL? 1", "-104");
    Row("VOLT:PROT? ON", "-104");
    Row("VOLT:PROT", "-109");
    Row("VOLT:PROT:LEV", "-109");
    Row("VOLT:PROT:STAT", "-109");
    Row("POW:PROT:DEL", "-109");
    Row("VOLT:PROT 1,2", "-108");
    Row("VOLT:PROT:STAT ON,OFF", "-108");
    Row("VOLT:PROT? MIN,MAX", "-108");
    Row("VOLT:PROT:STAT? 1", "-108");
    Row("VOLT:PROT:TRIP? 1", "-108");
    Row("OUTP:PROT:CLE 1", "-108");
    Row("STAT:QUES:COND? 1", "-108");
    Row("VOLT:PROT 1.2.3", "-102");
    Row("VOLT:PROT 12 V V", "-102");
}

void TestScpiParser::lines_data()
{
    Columns();
    // Empty units are skipped; blanks around units do not matter.
    Row("", "");
    Row("   ", "");
    Row(";", "");
    Row(" ; ;; ", "");
    Row("*IDN?;", "Identify?");
    Row(";*IDN?", "Identify?");
    Row("\t*IDN? \t", "Identify?");
    Row("*IDN?;;*OPC?", "Identify?; OperationComplete?");
    Row("*RST;*OPC?", "Reset; OperationComplete?");
    Row("VOLT 12 ; CURR 1.5 ; OUTP ON", "Voltage 12000; Current 1500; Output ON");

    // A unit that fails does not take the others with it.
    Row("VOLT 99;CURR 1", "-222; Current 1000");
    Row("FOO;*IDN?", "-113; Identify?");
    Row("VOLT;CURR 1", "-109; Current 1000");
    Row("MEAS:VOLT?;FOO?;*OPC?", "MeasureVoltage?; -113; OperationComplete?");

    // A relative header is looked up under the path of the unit before it, then from the root.
    Row("MEAS:VOLT?;CURR?", "MeasureVoltage?; MeasureCurrent?");
    Row("MEAS:ADC:VOLT?;CURR?", "AdcVoltage?; AdcCurrent?");
    Row("MEAS:ADC:VOLT?;CURR?;INP?;REF?", "AdcVoltage?; AdcCurrent?; AdcInput?; AdcReference?");
    Row("MEAS:VOLT?;VOLT?", "MeasureVoltage?; MeasureVoltage?");
    Row("MEAS:VOLT?;ADC:VOLT?", "MeasureVoltage?; AdcVoltage?");
    Row("MEAS:ADC:VOLT?;MEAS:CURR?", "AdcVoltage?; MeasureCurrent?");
    Row("MEAS:ADC:CURR?;CURR:FINE?", "AdcCurrent?; AdcFineCurrent?");
    Row("SYST:ERR?;VERS?", "NextError?; Version?");
    Row("VOLT 1;CURR 2", "Voltage 1000; Current 2000");
    Row("SOUR:VOLT 12;CURR 1.5", "Voltage 12000; Current 1500");
    Row("CURR:LEV 1.5;VOLT 12", "Current 1500; Voltage 12000");
    Row("MEAS:VOLT?;:CURR?", "MeasureVoltage?; Current?");
    Row("SOUR:VOLT 12;:CURR 1.5", "Voltage 12000; Current 1500");
    // MEAS:CURR and MEAS:VOLT are queries only, so a write after a measurement is not one of them.
    Row("MEAS:VOLT?;CURR 1", "MeasureVoltage?; Current 1000");
    Row("MEAS:CURR?;VOLT 12", "MeasureCurrent?; Voltage 12000");

    // A semicolon inside quotes does not split; an open quote fails its own unit only.
    Row("VOLT \"a;b\";*OPC?", "-104; OperationComplete?");
    Row("VOLT 'a;b';*OPC?", "-104; OperationComplete?");
    Row("VOLT \"a\"\"b\";*OPC?", "-104; OperationComplete?");
    Row("VOLT \"a'b\";*OPC?", "-104; OperationComplete?");
    Row("*IDN?;VOLT \"12", "Identify?; -102");
    Row("*IDN?;VOLT \"12;*OPC?", "Identify?; -102");
    Row("*IDN?;VOLT '12;*OPC?", "Identify?; -102");
    Row("*IDN?;VOLT \"a\"b\";*OPC?", "Identify?; -102");
    Row("VOLT \"12\"V", "-102");

    // Bytes no script would send.
    Row(QByteArray("\0", 1), "-102");
    Row(QByteArray("*IDN?\0", 6), "-102");
    Row(QByteArray("VOLT\0 12", 8), "-102");
    Row(QByteArray("VOLT 12\0", 8), "-102");
    Row(QByteArray("\0;*IDN?", 7), "-102; Identify?");
    Row("\xFF", "-102");
    Row("\xFF\xFE;*OPC?", "-102; OperationComplete?");
    Row("VOLT\x01"
        "12",
        "-102");
    Row("\x1B[A", "-102");
    Row("\x7F", "-102");
    Row("VOLT 12\xB5V", "-102");
    Row("VOLT\xE0 12", "-102");
    Row("M\xC3\x89"
        "AS:VOLT?",
        "-102");
}

void TestScpiParser::errorQueue_data()
{
    QTest::addColumn<int>("pushes");
    QTest::addColumn<bool>("clear");
    QTest::addColumn<QStringList>("popped");

    // The n-th error pushed is "Hardware error;n", so that the order shows.
    const auto pushed = [](int first, int last) {
        QStringList entries;
        for (int n = first; n <= last; ++n)
            entries << Entry(ScpiErrors::HardwareError(QByteArray::number(n)));
        return entries;
    };
    const QString overflow = "-350,Queue overflow";
    QTest::newRow("empty") << 0 << false << QStringList();
    QTest::newRow("oldest first") << 3 << false << pushed(1, 3);
    QTest::newRow("full") << 16 << false << pushed(1, 16);
    QTest::newRow("one over") << 17 << false << pushed(1, 15) + QStringList{overflow};
    QTest::newRow("many over") << 40 << false << pushed(1, 15) + QStringList{overflow};
    QTest::newRow("cleared") << 5 << true << QStringList();
    QTest::newRow("cleared after overflow") << 20 << true << QStringList();
}

void TestScpiParser::errorQueue()
{
    QFETCH(int, pushes);
    QFETCH(bool, clear);
    QFETCH(QStringList, popped);

    ScpiErrorQueue queue;
    for (int n = 1; n <= pushes; ++n)
        queue.Push(ScpiErrors::HardwareError(QByteArray::number(n)));
    if (clear)
        queue.Clear();
    QCOMPARE(queue.Size(), popped.size());
    QStringList taken;
    for (int i = 0; i < popped.size(); ++i)
        taken << Entry(queue.Pop());
    QCOMPARE(taken, popped);
    // Once empty it answers "No error", and keeps answering it.
    QCOMPARE(Entry(queue.Pop()), QString("0,No error"));
    QCOMPARE(Entry(queue.Pop()), QString("0,No error"));
    QCOMPARE(queue.Size(), 0);
}

QTEST_GUILESS_MAIN(TestScpiParser)
#include "tst_scpiparser.moc"
