#include "guard/counterfile.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <cmath>

namespace CounterFile {

namespace {

// A real file is a few hundred bytes; anything much larger is not ours.
constexpr qint64 MaxFileBytes = 64 * 1024;

bool TakeCount(const QJsonObject &object, const char *key, double &value)
{
    const QJsonValue field = object.value(QLatin1String(key));
    if (!field.isDouble())
        return false;
    value = field.toDouble();
    return std::isfinite(value) && value >= 0;
}

} // namespace

QString Save(const QString &path, const EnergyTotals &totals)
{
    QJsonObject object;
    object.insert(QStringLiteral("ampereSeconds"), totals.ampereSeconds);
    object.insert(QStringLiteral("joules"), totals.joules);
    object.insert(QStringLiteral("onSeconds"), totals.onSeconds);
    object.insert(QStringLiteral("gapSeconds"), totals.gapSeconds);
    if (totals.resetAt.isValid())
        object.insert(QStringLiteral("resetAt"),
                      totals.resetAt.toUTC().toString(Qt::ISODateWithMs));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(QJsonDocument(object).toJson(QJsonDocument::Indented)) < 0 || !file.commit())
        return file.errorString();
    return QString();
}

Loaded Load(const QString &path)
{
    Loaded loaded;
    QFile file(path);
    if (!file.exists())
        return loaded;
    if (!file.open(QIODevice::ReadOnly)) {
        loaded.problem = file.errorString();
        return loaded;
    }
    if (file.size() > MaxFileBytes) {
        loaded.problem = QStringLiteral("файл больше %1 байт").arg(MaxFileBytes);
        return loaded;
    }
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll());
    const QJsonObject object = document.object();
    EnergyTotals totals;
    if (!document.isObject() || !TakeCount(object, "ampereSeconds", totals.ampereSeconds) ||
        !TakeCount(object, "joules", totals.joules) ||
        !TakeCount(object, "onSeconds", totals.onSeconds) ||
        !TakeCount(object, "gapSeconds", totals.gapSeconds)) {
        loaded.problem = QStringLiteral("повреждён");
        return loaded;
    }
    const QJsonValue resetAt = object.value(QLatin1String("resetAt"));
    if (resetAt.isString())
        totals.resetAt = QDateTime::fromString(resetAt.toString(), Qt::ISODateWithMs).toUTC();
    loaded.totals = totals;
    return loaded;
}

} // namespace CounterFile
