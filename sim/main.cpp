#include "sim/commandlineoptions.h"
#include "sim/consolecommands.h"
#include "sim/consoleserver.h"
#include "sim/converteremulator.h"
#include "sim/requestlogline.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(signalPipe[1], &byte, 1);
}

void printLine(FILE *stream, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

const char Description[] =
    "Emulates a VORNEX programmable DC-DC converter on a pseudo-terminal, for trying out and\n"
    "testing the control panel without hardware.\n\n"
    "The first line on standard output is the serial port to open (and the link, if one was\n"
    "asked for); it is printed again whenever the device comes back after a hang-up. Every\n"
    "request received is logged to standard error with its time. Commands typed on standard\n"
    "input change the model and the faults while it runs; type 'help' for the list.\n"
    "SIGINT or SIGTERM stops it and removes the link.";

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vornex-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(Description));
    parser.addHelpOption();
    CommandLineOptions::addTo(parser);
    parser.process(app);

    ConverterEmulator emulator;
    CommandLineOptions::Program program;
    QString error;
    if (!CommandLineOptions::apply(parser, emulator, program, &error)) {
        printLine(stderr, QStringLiteral("vornex-sim: %1").arg(error));
        return 2;
    }
    if (!program.stateFile.isEmpty() && !emulator.setStateFile(program.stateFile, &error)) {
        printLine(stderr, QStringLiteral("vornex-sim: %1").arg(error));
        return 1;
    }
    const QString link = program.link;
    emulator.setLinkPath(link);

    QObject::connect(&emulator, &ConverterEmulator::serialPathChanged, [&](const QString &path) {
        if (path.isEmpty()) {
            printLine(stderr, QStringLiteral("serial end closed"));
            return;
        }
        printLine(stdout, link.isEmpty() ? path : path + QLatin1Char(' ') + link);
    });
    QObject::connect(&emulator, &ConverterEmulator::lineSettingsRefused,
                     [](const QString &settings) {
                         printLine(stderr, QStringLiteral("serial end set to %1: what arrives "
                                                          "is ignored until it is 9200 8N1 "
                                                          "('line-check off' allows it)")
                                               .arg(settings));
                     });
    if (!program.quiet) {
        QObject::connect(&emulator, &ConverterEmulator::requestReceived,
                         [](const EmulatorRequest &r) { printLine(stderr, requestLogLine(r)); });
    }
    if (!emulator.start(&error)) {
        printLine(stderr,
                  QStringLiteral("vornex-sim: cannot open a pseudo-terminal: %1").arg(error));
        return 1;
    }

    if (program.hangUpAfterS > 0) {
        QTimer::singleShot(program.hangUpAfterS * 1000, &emulator, [&emulator, &program] {
            if (program.returnAfterS > 0)
                emulator.hangUpFor(program.returnAfterS * 1000);
            else
                emulator.hangUp();
        });
    }

    if (::pipe(signalPipe) == 0) {
        std::signal(SIGINT, onSignal);
        std::signal(SIGTERM, onSignal);
    }
    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);

    ConsoleServer consoleServer(emulator);
    QObject::connect(&consoleServer, &ConsoleServer::quitRequested, &app, &QCoreApplication::quit);
    if (program.consolePort != 0 && !consoleServer.listen(program.consolePort, &error)) {
        printLine(
            stderr,
            QStringLiteral("vornex-sim: console port %1: %2").arg(program.consolePort).arg(error));
        return 1;
    }

    QSocketNotifier console(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray pending;
    QObject::connect(&console, &QSocketNotifier::activated, [&] {
        char buffer[1024];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            // End of input (or a closed stdin) leaves the device running.
            if (n == 0 || errno != EINTR)
                console.setEnabled(false);
            return;
        }
        pending.append(buffer, int(n));
        // Keep a runaway line without a newline from growing without end.
        if (pending.size() > 4096)
            pending.clear();
        int end = 0;
        while ((end = pending.indexOf('\n')) >= 0) {
            const QString line = QString::fromLocal8Bit(pending.left(end));
            pending.remove(0, end + 1);
            const ConsoleCommands::Result result = ConsoleCommands::execute(emulator, line);
            if (!result.text.isEmpty())
                printLine(stderr, result.text);
            if (result.quit)
                app.quit();
        }
    });

    const int code = app.exec();
    emulator.stop();
    return code;
}
