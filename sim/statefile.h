#pragma once

#include "link/devicerecords.h"

#include <QString>

#include <optional>

// What a converter keeps across power cycles, stored as JSON. Reading never fails on bad
// content: missing or malformed fields keep the values they had, numbers are clamped to 16 bits.
namespace StateFile {

struct State
{
    CalibrationBlock calibration;
    UserParamBlock userParams; // lifeCounter not stored: onTimeMs is
    qint64 onTimeMs = 0;
};

// Fills state from the file; false (state untouched) when it cannot be read or is not JSON.
bool load(const QString &path, State &state, QString *error = nullptr);
bool save(const QString &path, const State &state, QString *error = nullptr);

} // namespace StateFile
