#pragma once

#include <QLatin1String>

// Keys of the persisted settings store (organisation "brenta", application "TALMIR"). None has a
// group prefix; the spelling is what earlier installations have already written.
namespace SettingsKeys {
inline const QLatin1String commeDotLog{"commeDotLog"};
inline const QLatin1String logPeriod{"LogPeriod"};
inline const QLatin1String logValue{"LogValue"};
inline const QLatin1String timeForm{"TimeForm"};
inline const QLatin1String addTime{"AddTime"};
inline const QLatin1String dirLogFile{"dirLogFile"};
// The port last opened successfully, preselected at the next start when it is listed.
inline const QLatin1String lastPort{"lastPort"};
// The SCPI server: on or off, "local" or "any" interface, TCP port.
inline const QLatin1String scpiEnabled{"scpiEnabled"};
inline const QLatin1String scpiListen{"scpiListen"};
inline const QLatin1String scpiPort{"scpiPort"};
} // namespace SettingsKeys
