#include "cli/resulttext.h"

#include "link/quantities.h"

#include <QJsonDocument>

#include <algorithm>
#include <cmath>

namespace {

struct Field
{
    const char *name;
    double value = 0;
    int decimals = 0;
    const char *unit = nullptr; // nullptr: an on/off state, value 1 or 0
};

Field Measured(const char *name, Quantity quantity, qint64 counts)
{
    const QuantityScale &scale = ScaleOf(quantity);
    return Field{name, ToUnits(quantity, counts), scale.decimals, scale.unit};
}

Field Switch(const char *name, bool on)
{
    return Field{name, on ? 1.0 : 0.0};
}

QByteArray JsonLine(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

QByteArray Lines(std::initializer_list<Field> fields, bool json)
{
    if (json) {
        QJsonObject object;
        for (const Field &field : fields) {
            if (field.unit)
                object.insert(QLatin1String(field.name), field.value);
            else
                object.insert(QLatin1String(field.name), field.value != 0);
        }
        return JsonLine(object);
    }
    QByteArray text;
    for (const Field &field : fields) {
        text += field.name;
        if (field.unit)
            text += ' ' + QByteArray::number(field.value, 'f', field.decimals) + ' ' + field.unit +
                    '\n';
        else
            text += field.value != 0 ? " on\n" : " off\n";
    }
    return text;
}

// Six significant digits and more, never an exponent: the decimals follow the magnitude.
QByteArray Significant(double value)
{
    if (value == 0)
        return "0";
    const int magnitude = int(std::floor(std::log10(std::abs(value))));
    return QByteArray::number(value, 'f', std::clamp(5 - magnitude, 0, 17));
}

QByteArray Prefixed(const QString &message)
{
    return "vornexctl: " + message.toUtf8() + '\n';
}

} // namespace

namespace ResultText {

QByteArray Status(const OutputStatus &status, bool json)
{
    return Lines({Measured("voltage", Quantity::OutputVoltage, status.voltage),
                  Measured("current", CurrentQuantity(status), status.current),
                  Switch("cv", status.cvMode != 0), Switch("cc", status.ccMode != 0),
                  Switch("output", status.outputOn != 0),
                  Switch("fineRange", OnFineCurrentRange(status))},
                 json);
}

QByteArray Adc(const AdcReadings &adc, bool json)
{
    return Lines({Measured("sdadcVoltage", Quantity::SdadcVoltage, adc.sdadcVoltage),
                  Measured("sdadcCurrent", Quantity::SdadcCurrent, adc.sdadcCurrent),
                  Measured("fineCurrent", Quantity::FineCurrent, adc.fineCurrent),
                  Measured("inputVoltage", Quantity::InputVoltage, adc.inputVoltage),
                  Measured("referenceVoltage", Quantity::ReferenceVoltage, adc.referenceVoltage)},
                 json);
}

QByteArray SetpointValues(const Setpoints &setpoints, bool json)
{
    return Lines({Measured("voltage", Quantity::SetpointVoltage, setpoints.voltage),
                  Measured("current", Quantity::SetpointCurrent, setpoints.current)},
                 json);
}

QByteArray Output(bool on, bool json)
{
    return Lines({Switch("output", on)}, json);
}

QByteArray LogEntryLine(const LogEntry &entry, bool json)
{
    if (!json)
        return entry.line.toUtf8();
    QJsonObject object{{"voltage", ToUnits(Quantity::LogVoltage, entry.sample.voltage)},
                       {"current", ToUnits(Quantity::LogCurrent, entry.sample.current)}};
    if (!entry.timeText.isEmpty())
        object.insert(QStringLiteral("time"), entry.timeText);
    return JsonLine(object);
}

QByteArray Counters(const CounterValues &counters, bool json)
{
    const struct
    {
        const char *name;
        double value;
        const char *unit;
    } fields[] = {{"charge", counters.ampereHours, "Ah"},
                  {"energy", counters.wattHours, "Wh"},
                  {"onTime", counters.onSeconds, "s"},
                  {"gapTime", counters.gapSeconds, "s"}};
    const QString resetAt = counters.resetAt.isValid()
                                ? counters.resetAt.toUTC().toString(Qt::ISODateWithMs)
                                : QString();
    if (json) {
        QJsonObject object;
        for (const auto &field : fields)
            object.insert(QLatin1String(field.name), field.value);
        if (counters.resetKnown)
            object.insert(QStringLiteral("resetAt"),
                          resetAt.isEmpty() ? QJsonValue() : QJsonValue(resetAt));
        return JsonLine(object);
    }
    QByteArray text;
    for (const auto &field : fields)
        text += QByteArray(field.name) + ' ' + Significant(field.value) + ' ' + field.unit + '\n';
    if (counters.resetKnown)
        text += "resetAt " + (resetAt.isEmpty() ? QByteArray("never") : resetAt.toLatin1()) + '\n';
    return text;
}

QByteArray Block(const QJsonObject &block, bool json)
{
    return json ? JsonLine(block) : QJsonDocument(block).toJson(QJsonDocument::Indented);
}

QByteArray Fact(const QString &name, const QString &value, bool json)
{
    return json ? JsonLine(QJsonObject{{name, value}}) : (name + ' ' + value + '\n').toUtf8();
}

QByteArray Error(Failure failure, const QString &message, bool json)
{
    return json ? JsonLine(QJsonObject{{"error", FailureKey(failure)}, {"message", message}})
                : Prefixed(message);
}

QByteArray Note(const QString &event, const QString &message, bool json)
{
    return json ? JsonLine(QJsonObject{{"event", event}, {"message", message}}) : Prefixed(message);
}

} // namespace ResultText
