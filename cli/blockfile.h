#pragma once

#include "link/devicerecords.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// Calibration and user-parameter blocks as JSON objects with one integer member per field, named
// as the record's fields. A block read from the converter is written as it came, unclamped, so
// that a backup holds exactly what the device held.
QJsonObject CalibrationToJson(const CalibrationBlock &block);
QJsonObject UserParamsToJson(const UserParamBlock &block);

// A block to be sent, from an object that must have exactly the block's fields, each an integer
// within its panel box's range. Otherwise nothing, with one problem per bad field. The life
// counter must be there and be an integer, but it is not range-checked: the converter counts it
// itself, and the block carries 0 in its place.
std::optional<CalibrationBlock> CalibrationFromJson(const QJsonObject &object,
                                                    QStringList &problems);
std::optional<UserParamBlock> UserParamsFromJson(const QJsonObject &object, QStringList &problems);

// The JSON object in a file, or nothing with the reason.
std::optional<QJsonObject> ReadJsonObjectFile(const QString &path, QString &problem);
// Writes the object, indented, replacing the file only once it is complete.
bool WriteJsonFile(const QString &path, const QJsonObject &object, QString &problem);

// Where the backup of the block about to be replaced from `file` goes: beside it, named
// "<name>.backup-<yyyyMMdd-HHmmss>.json" (<name> is the file's name without ".json"), with "-2",
// "-3"... added when that name is taken.
QString BackupPath(const QString &file, const QDateTime &now,
                   const std::function<bool(const QString &)> &exists);
