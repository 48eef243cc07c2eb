#pragma once

#include "link/linkresult.h"

#include <QString>

// Why a run did not succeed, and the exit status each reason gives.
enum class Failure
{
    Usage,          // 2: the command line is wrong
    PortBusy,       // 3: another program holds the port
    PortMissing,    // 3: no such port
    PortPermission, // 3: the port may not be opened for reading and writing
    PortOther,      // 3: the port would not open for another reason
    NoPanel,        // 3: --via: no panel's SCPI server to be reached, or it stopped answering
    CountersBusy,   // 3: counters reset without --via while a panel keeps the counters
    NoReply,        // 4: the converter did not answer
    BadReply,       // 5: it answered, but not with a good reply (a refused write included)
    BadFile,        // 6: a block file that cannot be read, is not a valid block, or cannot be
                    //    written; the panel's counter file damaged, unreadable or not written
};

constexpr int ExitSuccess = 0;

int ExitStatusOf(Failure failure);

// A short fixed name for scripts, the "error" key of a JSON error line.
QString FailureKey(Failure failure);

// The failure a transaction's result means; only for results other than Success.
Failure FailureOf(LinkResult result);
