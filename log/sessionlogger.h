#pragma once

#include "log/logrecorder.h"

#include <QObject>

#include <functional>
#include <optional>

class DeviceSession;

// The log step of every front end, fed by a device session: the freshness of its status and
// ADC reads, and after each of its ticks the line due, if any. The window and vornexctl both
// log through it, so a line falls due the same way in either.
class SessionLogger : public QObject
{
    Q_OBJECT

public:
    using SettingsSource = std::function<LogSettings()>;

    SessionLogger(DeviceSession *session, const LogSettings &settings = LogSettings(),
                  QObject *parent = nullptr);

    // Where the settings come from at each tick, so that a change applies from the next one.
    void SetSettingsSource(SettingsSource source) { settingsSource = std::move(source); }
    // Where the log takes the time of day from; tests replace it to run through hours at once.
    void SetClock(const LogClock &clock) { recorder.SetClock(clock); }

    void Start() { recorder.Start(); }
    void Stop() { recorder.Stop(); }

signals:
    // A period of the running log has ended at this log time; the sample is the line's values,
    // none when the chosen source had no fresh read in the period.
    void periodEnded(const QTime &logTime, const std::optional<LogSample> &sample);
    void lineDue(const LogEntry &entry);

private:
    void Step();

    DeviceSession *session = nullptr;
    LogRecorder recorder;
    SettingsSource settingsSource;
};
