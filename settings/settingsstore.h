#pragma once

#include <QLatin1String>

#include <memory>

class QSettings;

// Where the store lives: QSettings' native format, user scope, under the names earlier
// installations have already written.
namespace SettingsStore {
inline const QLatin1String organisation{"brenta"};
inline const QLatin1String application{"TALMIR"};
} // namespace SettingsStore

// The program's one store. The application opens it and hands it to whatever reads or writes a
// setting, so that every part sees the others' changes at once.
std::unique_ptr<QSettings> OpenSettingsStore();
