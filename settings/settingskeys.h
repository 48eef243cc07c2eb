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
// The protections: each trip on or off, its level (V, A, W) and its delay (s); the setpoint
// caps (V, A), absent when there is none.
inline const QLatin1String ovpEnabled{"ovpEnabled"};
inline const QLatin1String ovpLevel{"ovpLevel"};
inline const QLatin1String ovpDelay{"ovpDelay"};
inline const QLatin1String ocpEnabled{"ocpEnabled"};
inline const QLatin1String ocpLevel{"ocpLevel"};
inline const QLatin1String ocpDelay{"ocpDelay"};
inline const QLatin1String oppEnabled{"oppEnabled"};
inline const QLatin1String oppLevel{"oppLevel"};
inline const QLatin1String oppDelay{"oppDelay"};
inline const QLatin1String voltageCap{"voltageCap"};
inline const QLatin1String currentCap{"currentCap"};
} // namespace SettingsKeys
