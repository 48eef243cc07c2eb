#include "log/sessionlogger.h"

#include "session/devicesession.h"

SessionLogger::SessionLogger(DeviceSession *session, const LogSettings &settings, QObject *parent)
    : QObject(parent), session(session), recorder(settings)
{
    connect(session, &DeviceSession::statusRead, this, [this] { recorder.StatusRead(true); });
    connect(session, &DeviceSession::adcRead, this, [this] { recorder.AdcRead(true); });
    connect(session, &DeviceSession::readFailed, this, [this](DeviceSession::Block block) {
        if (block == DeviceSession::Block::Status)
            recorder.StatusRead(false);
        else if (block == DeviceSession::Block::Adc)
            recorder.AdcRead(false);
    });
    connect(session, &DeviceSession::tickDone, this, &SessionLogger::Step);
}

void SessionLogger::Step()
{
    if (settingsSource)
        recorder.SetSettings(settingsSource());
    const LogStepResult step = recorder.Step(session->Status(), session->Adc());
    if (!step.periodDue)
        return;
    emit periodEnded(recorder.LogClockTime(),
                     step.entry ? std::optional<LogSample>(step.entry->sample) : std::nullopt);
    if (step.entry)
        emit lineDue(*step.entry);
}
