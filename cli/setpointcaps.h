#pragma once

#include "link/devicerecords.h"

#include <QString>

struct ProtectionSettings;

// Why setpoints go beyond the operator's caps (the panel's protection settings), naming the
// cap; empty when they do not. A value at its cap is allowed, and so is one at the cap rounded
// to whole mV or mA, as the panel's SCPI server allows it.
QString SetpointCapProblem(const Setpoints &setpoints, const ProtectionSettings &protection);

// The same against the caps in the settings store, opened as the panel opens it.
QString StoredSetpointCapProblem(const Setpoints &setpoints);
