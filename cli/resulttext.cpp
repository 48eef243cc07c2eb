#include "cli/resulttext.h"

#include "log/logline.h"

#include <QJsonDocument>

namespace {

struct Quantity
{
    const char *name;
    double value = 0;
    int decimals = 0;
    const char *unit = nullptr; // nullptr: an on/off state, value 1 or 0
};

Quantity Measured(const char *name, double value, int decimals, const char *unit)
{
    return Quantity{name, value, decimals, unit};
}

Quantity Switch(const char *name, bool on)
{
    return Quantity{name, on ? 1.0 : 0.0};
}

QByteArray JsonLine(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

QByteArray Lines(std::initializer_list<Quantity> quantities, bool json)
{
    if (json) {
        QJsonObject object;
        for (const Quantity &quantity : quantities) {
            if (quantity.unit)
                object.insert(QLatin1String(quantity.name), quantity.value);
            else
                object.insert(QLatin1String(quantity.name), quantity.value != 0);
        }
        return JsonLine(object);
    }
    QByteArray text;
    for (const Quantity &quantity : quantities) {
        text += quantity.name;
        if (quantity.unit)
            text += ' ' + QByteArray::number(quantity.value, 'f', quantity.decimals) + ' ' +
                    quantity.unit + '\n';
        else
            text += quantity.value != 0 ? " on\n" : " off\n";
    }
    return text;
}

QByteArray Prefixed(const QString &message)
{
    return "vornexctl: " + message.toUtf8() + '\n';
}

} // namespace

namespace ResultText {

QByteArray Status(const OutputStatus &status, bool json)
{
    bool statusFresh = true;
    bool adcFresh = false;
    const LogSample sample = *TakeLogSample(0, status, AdcReadings(), statusFresh, adcFresh);
    const bool fine = status.currentRange != 0;
    return Lines({Measured("voltage", double(sample.voltage) / 1000, 2, "V"),
                  Measured("current", double(sample.current) / 10000, fine ? 4 : 3, "A"),
                  Switch("cv", status.cvMode != 0), Switch("cc", status.ccMode != 0),
                  Switch("output", status.outputOn != 0), Switch("fineRange", fine)},
                 json);
}

QByteArray Adc(const AdcReadings &adc, bool json)
{
    return Lines({Measured("sdadcVoltage", adc.sdadcVoltage / 1000.0, 3, "V"),
                  Measured("sdadcCurrent", adc.sdadcCurrent / 1000.0, 3, "A"),
                  Measured("fineCurrent", adc.fineCurrent / 10000.0, 4, "A"),
                  Measured("inputVoltage", adc.inputVoltage / 1000.0, 3, "V"),
                  Measured("referenceVoltage", adc.referenceVoltage / 1000.0, 3, "V")},
                 json);
}

QByteArray SetpointValues(const Setpoints &setpoints, bool json)
{
    return Lines({Measured("voltage", setpoints.voltage / 1000.0, 3, "V"),
                  Measured("current", setpoints.current / 1000.0, 3, "A")},
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
    QJsonObject object{{"voltage", double(entry.sample.voltage) / 1000},
                       {"current", double(entry.sample.current) / 10000}};
    if (!entry.timeText.isEmpty())
        object.insert(QStringLiteral("time"), entry.timeText);
    return JsonLine(object);
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
