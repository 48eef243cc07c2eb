#pragma once

#include "guard/energytotals.h"

#include <QString>

#include <optional>

// The counters on disk: one small JSON object, replaced whole, so a crash leaves the previous
// copy or the new one and never half of either.
namespace CounterFile {

// Empty when it was written; otherwise why not.
QString Save(const QString &path, const EnergyTotals &totals);

struct Loaded
{
    std::optional<EnergyTotals> totals; // none: the file is missing or unreadable
    QString problem;                    // why a file that exists was not taken
};
Loaded Load(const QString &path);

} // namespace CounterFile
