#include "cli/commandline.h"
#include "cli/commandrunner.h"
#include "cli/console.h"
#include "cli/failure.h"
#include "cli/helptext.h"
#include "cli/panelcounters.h"
#include "cli/remoterunner.h"
#include "cli/resulttext.h"
#include "session/portlist.h"

#include <QCoreApplication>
#include <QTimer>

namespace {

template <typename Runner>
int RunCommand(QCoreApplication &app, const CliCommand &command, Console &console)
{
    Runner runner(command, console);
    QObject::connect(&runner, &Runner::finished, &app, &QCoreApplication::exit);
    // Started from the event loop, so that the end of the command can end the loop.
    QTimer::singleShot(0, &runner, &Runner::Start);
    return app.exec();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    Console console;
    const ParsedCommandLine parsed = ParseCommandLine(
        app.arguments().mid(1), PortEnvironment{qEnvironmentVariable("VORNEX_PORT"),
                                                qEnvironmentVariable(ExtraPortsVariable)});
    const CliCommand &command = parsed.command;
    if (!parsed.error.isEmpty()) {
        console.Complain(ResultText::Error(
            Failure::Usage, parsed.error + QStringLiteral(" (справка: vornexctl --help)"),
            command.json));
        return ExitStatusOf(Failure::Usage);
    }
    if (command.action == CliAction::Help) {
        console.Print(HelpText(command.helpTopic).toUtf8());
        return ExitSuccess;
    }
    if (command.action == CliAction::Version) {
        console.Print("vornexctl " VORNEXCTL_VERSION "\n");
        return ExitSuccess;
    }
    if (command.via)
        return RunCommand<RemoteRunner>(app, command, console);
    if (command.action == CliAction::Counters || command.action == CliAction::CountersReset)
        return RunPanelCounters(command, console);
    return RunCommand<CommandRunner>(app, command, console);
}
