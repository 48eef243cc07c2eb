#include "sim/statefile.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <utility>
#include <vector>

namespace StateFile {

namespace {

using Field = std::pair<const char *, qint32 *>;

std::vector<Field> calibrationFields(CalibrationBlock &c)
{
    return {{"kuDacVolt", &c.kuDacVolt},
            {"offDacVolt", &c.offDacVolt},
            {"kuDacCurr", &c.kuDacCurr},
            {"offDacCurr", &c.offDacCurr},
            {"kuAdcVolt", &c.kuAdcVolt},
            {"offAdcVolt", &c.offAdcVolt},
            {"kuAdcCurr", &c.kuAdcCurr},
            {"offAdcCurr", &c.offAdcCurr},
            {"kuAdcCurrFine", &c.kuAdcCurrFine},
            {"offAdcCurrFine", &c.offAdcCurrFine},
            {"rout", &c.rout}};
}

std::vector<Field> userParamFields(UserParamBlock &u)
{
    return {{"nvpStatus", &u.nvpStatus},       {"currTrigStat", &u.currTrigStat},
            {"currTrigTime", &u.currTrigTime}, {"ioutMax", &u.ioutMax},
            {"uoutMax", &u.uoutMax},           {"poutMax", &u.poutMax},
            {"routUser", &u.routUser},         {"fanGainCurrent", &u.fanGainCurrent},
            {"fanDelay", &u.fanDelay},         {"fanDutyOff", &u.fanDutyOff}};
}

// Offsets are signed on the wire, everything else unsigned.
void readFields(const QJsonObject &object, const std::vector<Field> &fields)
{
    for (const Field &field : fields) {
        const QJsonValue value = object.value(QLatin1String(field.first));
        if (!value.isDouble())
            continue;
        const bool isSigned = QByteArray(field.first).startsWith("off");
        const double low = isSigned ? -32768 : 0;
        const double high = isSigned ? 32767 : 65535;
        *field.second = qint32(qBound(low, value.toDouble(), high));
    }
}

QJsonObject writeFields(const std::vector<Field> &fields)
{
    QJsonObject object;
    for (const Field &field : fields)
        object.insert(QLatin1String(field.first), *field.second);
    return object;
}

void report(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

} // namespace

bool load(const QString &path, State &state, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        report(error, file.errorString());
        return false;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(file.read(1 << 20), &parseError);
    if (!document.isObject()) {
        report(error, QStringLiteral("%1: not a JSON object").arg(path));
        return false;
    }
    const QJsonObject root = document.object();
    readFields(root.value(QLatin1String("calibration")).toObject(),
               calibrationFields(state.calibration));
    readFields(root.value(QLatin1String("userParams")).toObject(),
               userParamFields(state.userParams));
    const QJsonValue onTime = root.value(QLatin1String("onTimeMs"));
    if (onTime.isDouble() && onTime.toDouble() >= 0 && onTime.toDouble() < 1e15)
        state.onTimeMs = qint64(onTime.toDouble());
    return true;
}

bool save(const QString &path, const State &state, QString *error)
{
    State copy = state;
    QJsonObject root;
    root.insert(QLatin1String("calibration"), writeFields(calibrationFields(copy.calibration)));
    root.insert(QLatin1String("userParams"), writeFields(userParamFields(copy.userParams)));
    root.insert(QLatin1String("onTimeMs"), double(copy.onTimeMs));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(root).toJson()) < 0 ||
        !file.commit()) {
        report(error, file.errorString());
        return false;
    }
    return true;
}

} // namespace StateFile
