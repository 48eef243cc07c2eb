#include "session/commandscheduler.h"

namespace {

CommandOutcome OutcomeOf(LinkResult result)
{
    return result == Success   ? CommandOutcome::Done
           : result == NoReply ? CommandOutcome::NoReply
                               : CommandOutcome::BadReply;
}

} // namespace

void CommandScheduler::Submit(SessionCommand command, CommandLane lane, CommandCompletion done)
{
    Entry entry{std::move(command), lane, std::move(done), ++given};
    if (lane == CommandLane::Script) {
        queue.push_back(std::move(entry));
        return;
    }
    CommandCompletion replaced = waiting ? std::move(waiting->done) : CommandCompletion();
    waiting = std::move(entry);
    if (replaced)
        replaced(CommandOutcome::Replaced);
}

void CommandScheduler::SubmitUrgent(SessionCommand command)
{
    urgent = Entry{std::move(command), CommandLane::Operator, {}, ++given};
}

std::optional<CommandScheduler::Started> CommandScheduler::ForTick()
{
    if (urgent)
        return Started{urgent->command, urgent->number};
    if (!underWay) {
        const bool scriptMayStart =
            !queue.empty() && pollReadsSinceScript >= PollReadsBetweenScripts;
        if (scriptMayStart && (!waiting || queue.front().number < waiting->number)) {
            underWay = std::move(queue.front());
            queue.pop_front();
        } else if (waiting) {
            underWay = std::move(waiting);
            waiting.reset();
        } else {
            return std::nullopt;
        }
        retryCount = 0;
    }
    return Started{underWay->command, underWay->number};
}

void CommandScheduler::CountPollRead()
{
    if (pollReadsSinceScript < PollReadsBetweenScripts)
        ++pollReadsSinceScript;
}

CommandScheduler::AttemptEnd CommandScheduler::EndAttempt(quint64 number, LinkResult result)
{
    AttemptEnd end;
    if (urgent && urgent->number == number) {
        end.verdict = result == Success ? AttemptVerdict::Finished : AttemptVerdict::Retry;
        if (result == Success)
            urgent.reset();
        return end;
    }
    if (!underWay || underWay->number != number)
        return end;
    if (underWay->command.Retried())
        end.verdict = JudgeWriteAttempt(result, retryCount);
    else
        end.verdict = result == Success ? AttemptVerdict::Finished : AttemptVerdict::GiveUp;
    if (end.verdict == AttemptVerdict::Retry)
        return end;
    if (underWay->lane == CommandLane::Script)
        pollReadsSinceScript = 0;
    end.done = std::move(underWay->done);
    end.outcome = OutcomeOf(result);
    underWay.reset();
    return end;
}

CommandScheduler::AttemptEnd CommandScheduler::Refuse(quint64 number)
{
    AttemptEnd end;
    if (!underWay || underWay->number != number)
        return end;
    if (underWay->lane == CommandLane::Script)
        pollReadsSinceScript = 0;
    end.done = std::move(underWay->done);
    end.outcome = CommandOutcome::Tripped;
    underWay.reset();
    return end;
}

std::vector<CommandCompletion> CommandScheduler::TakeScriptCommands()
{
    std::vector<CommandCompletion> taken;
    if (underWay && underWay->lane == CommandLane::Script) {
        taken.push_back(std::move(underWay->done));
        underWay.reset();
    }
    for (Entry &entry : queue)
        taken.push_back(std::move(entry.done));
    queue.clear();
    return taken;
}
