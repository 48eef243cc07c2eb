#include "cli/blockfile.h"

#include "link/blockfields.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QSaveFile>

#include <cmath>
#include <limits>

namespace {

// A block file is a few hundred bytes; anything far larger is not one, and is not read whole.
constexpr qint64 LargestBlockFile = 64 * 1024;

template <typename Block, std::size_t N>
QJsonObject ToJson(const Block &block, const std::array<BlockField<Block>, N> &fields)
{
    QJsonObject object;
    for (const BlockField<Block> &field : fields)
        object.insert(QLatin1String(field.name), block.*field.member);
    return object;
}

QString TypeName(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::Null:
        return QStringLiteral("null");
    case QJsonValue::Bool:
        return QStringLiteral("логическое значение");
    case QJsonValue::String:
        return QStringLiteral("строка");
    case QJsonValue::Array:
        return QStringLiteral("массив");
    case QJsonValue::Object:
        return QStringLiteral("объект");
    default:
        return QStringLiteral("число");
    }
}

std::optional<qint32> Integer(const QJsonValue &value)
{
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    if (number != std::trunc(number) || number < std::numeric_limits<qint32>::min() ||
        number > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return qint32(number);
}

template <typename Block, std::size_t N>
std::optional<Block> FromJson(const QJsonObject &object,
                              const std::array<BlockField<Block>, N> &fields, QStringList &problems)
{
    Block block;
    QStringList known;
    for (const BlockField<Block> &field : fields) {
        const QString name = QLatin1String(field.name);
        known << name;
        if (!object.contains(name)) {
            problems << QStringLiteral("нет поля «%1»").arg(name);
            continue;
        }
        const QJsonValue value = object.value(name);
        const std::optional<qint32> number = Integer(value);
        if (!number) {
            problems << QStringLiteral("поле «%1»: ожидается целое число, а не %2")
                            .arg(name, value.isDouble() ? QString::number(value.toDouble())
                                                        : TypeName(value));
            continue;
        }
        if (field.use == FieldUse::DeviceCounted)
            continue;
        if (*number < field.range.minimum || *number > field.range.maximum) {
            problems << QStringLiteral("поле «%1» = %2 вне диапазона от %3 до %4")
                            .arg(name)
                            .arg(*number)
                            .arg(field.range.minimum)
                            .arg(field.range.maximum);
            continue;
        }
        block.*field.member = *number;
    }
    for (const QString &key : object.keys()) {
        if (!known.contains(key))
            problems << QStringLiteral("лишнее поле «%1»").arg(key);
    }
    if (!problems.isEmpty())
        return std::nullopt;
    return block;
}

QString LineAndColumn(const QByteArray &text, int offset)
{
    const QByteArray before = text.left(offset);
    const int line = before.count('\n') + 1;
    const int column = offset - (before.lastIndexOf('\n') + 1) + 1;
    return QStringLiteral("строка %1, столбец %2").arg(line).arg(column);
}

} // namespace

QJsonObject CalibrationToJson(const CalibrationBlock &block)
{
    return ToJson(block, CalibrationFields);
}

QJsonObject UserParamsToJson(const UserParamBlock &block)
{
    return ToJson(block, UserParamFields);
}

std::optional<CalibrationBlock> CalibrationFromJson(const QJsonObject &object,
                                                    QStringList &problems)
{
    return FromJson(object, CalibrationFields, problems);
}

std::optional<UserParamBlock> UserParamsFromJson(const QJsonObject &object, QStringList &problems)
{
    return FromJson(object, UserParamFields, problems);
}

std::optional<QJsonObject> ReadJsonObjectFile(const QString &path, QString &problem)
{
    QFile file(path);
    if (!file.exists()) {
        problem = QStringLiteral("файл «%1» не найден").arg(path);
        return std::nullopt;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        problem = QStringLiteral("не удается открыть файл «%1»: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    const QByteArray text = file.read(LargestBlockFile + 1);
    if (text.size() > LargestBlockFile) {
        problem = QStringLiteral("файл «%1» слишком велик для блока").arg(path);
        return std::nullopt;
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError) {
        problem = QStringLiteral("«%1», %2: неверный JSON (%3)")
                      .arg(path, LineAndColumn(text, error.offset), error.errorString());
        return std::nullopt;
    }
    if (!document.isObject()) {
        problem = QStringLiteral("«%1»: ожидается объект JSON с полями блока").arg(path);
        return std::nullopt;
    }
    return document.object();
}

bool WriteJsonFile(const QString &path, const QJsonObject &object, QString &problem)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(QJsonDocument(object).toJson(QJsonDocument::Indented)) < 0 || !file.commit()) {
        problem =
            QStringLiteral("Не удается сохранить файл «%1»: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

QString BackupPath(const QString &file, const QDateTime &now,
                   const std::function<bool(const QString &)> &exists)
{
    const QFileInfo info(file);
    QString name = info.fileName();
    if (name.endsWith(QLatin1String(".json"), Qt::CaseInsensitive))
        name.chop(5);
    const QString stem = info.absolutePath() + QLatin1Char('/') + name +
                         QStringLiteral(".backup-") +
                         now.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString path = stem + QStringLiteral(".json");
    for (int copy = 2; exists(path); ++copy)
        path = stem + QStringLiteral("-%1.json").arg(copy);
    return path;
}
