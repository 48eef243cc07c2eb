#pragma once

#include "link/linkresult.h"
#include "session/sessioncommand.h"
#include "session/writeretry.h"

#include <QtGlobal>

#include <deque>
#include <optional>
#include <vector>

// Which command each poll tick carries out, without any port: the operator's waiting command,
// the scripts' queue, the command under way and its attempts.
//
// A tick runs the command under way, else starts the next one, else polls. The operator's
// waiting command and the queue take turns by the order in which they were given; after a
// script's command two poll reads run before the next one, so that a busy script cannot
// starve the readings it asks for. A command once started runs to its end; what is given
// meanwhile, even from inside its transaction, waits and is never dropped.
class CommandScheduler
{
public:
    static constexpr int PollReadsBetweenScripts = 2;

    struct Started
    {
        SessionCommand command;
        quint64 number = 0; // names this start in EndAttempt
    };
    struct AttemptEnd
    {
        AttemptVerdict verdict = AttemptVerdict::Finished;
        // Set once the command has ended; the caller reports the end, then calls it.
        CommandCompletion done;
        CommandOutcome outcome = CommandOutcome::Done;
    };

    // An operator's command replaces one still waiting, whose completion is told so.
    void Submit(SessionCommand command, CommandLane lane, CommandCompletion done);
    // A command that runs on the next tick ahead of everything, between the attempts of one
    // under way too, and is tried on every tick until it succeeds: a protection's switch-off.
    // A later one replaces it.
    void SubmitUrgent(SessionCommand command);
    bool UrgentWaiting() const { return urgent.has_value(); }

    // The command this tick runs, started now if none was under way; none: a poll read.
    std::optional<Started> ForTick();
    void CountPollRead();
    // The attempt of the command started as `number` gave `result`. A command cancelled
    // meanwhile is not touched again.
    AttemptEnd EndAttempt(quint64 number, LinkResult result);
    // Ends the command started as `number` without an attempt, as Tripped.
    AttemptEnd Refuse(quint64 number);

    // Takes every script command out, the one under way included, for the caller to cancel:
    // a script must not wait for an operator to reconnect. The operator's own command waits.
    std::vector<CommandCompletion> TakeScriptCommands();

    bool Idle() const { return !urgent && !underWay && !waiting && queue.empty(); }

private:
    struct Entry
    {
        SessionCommand command;
        CommandLane lane = CommandLane::Operator;
        CommandCompletion done;
        quint64 number = 0; // the order in which commands were given
    };

    std::optional<Entry> urgent;
    std::optional<Entry> waiting;
    std::deque<Entry> queue;
    std::optional<Entry> underWay;
    quint64 given = 0;
    int retryCount = 0;
    int pollReadsSinceScript = PollReadsBetweenScripts;
};
