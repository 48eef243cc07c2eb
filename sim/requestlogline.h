#pragma once

#include "sim/emulatorrequest.h"

#include <QString>

// One line of the emulator's request log: time in seconds, the frame as received and what the
// emulator made of it, e.g. "    1.250 s  #01013E1F  read status".
QString requestLogLine(const EmulatorRequest &request);
