#include "sim/consolecommands.h"
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

struct Options
{
    QCommandLineOption link{"link", "Keep a symbolic link to the serial end at <path>.", "path"};
    QCommandLineOption noPace{"no-pace", "Do not hold characters to 9200 baud."};
    QCommandLineOption noLineCheck{"no-line-check",
                                   "Answer whatever line settings the serial end is set to "
                                   "(by default only 9200 baud 8N1 is understood)."};
    QCommandLineOption adapterLatency{"adapter-latency",
                                      "Hand replies to the PC in batches, as a USB serial "
                                      "adapter with a latency timer of <ms> does (FTDI: 16).",
                                      "ms"};
    QCommandLineOption load{"load", "Load resistance in ohms, 0 for open circuit (default 10).",
                            "ohms"};
    QCommandLineOption input{"input", "Input voltage in mV (default 24000).", "mV"};
    QCommandLineOption reference{"reference", "Reference voltage in mV (default 2500).", "mV"};
    QCommandLineOption fineBelow{"fine-below", "Fine current range below <mA> (default 100).",
                                 "mA"};
    QCommandLineOption noise{"noise", "Add a little noise to the readings."};
    QCommandLineOption state{"state",
                             "Keep calibration, user parameters and life counter in "
                             "<file>.",
                             "file"};
    QCommandLineOption quiet{"quiet", "Do not log the requests."};
    QCommandLineOption silent{"silent", "Fault: never answer."};
    QCommandLineOption silentFirst{"silent-first", "Fault: ignore the first <k> requests.", "k"};
    QCommandLineOption delay{"delay", "Fault: delay every reply by <ms>.", "ms"};
    QCommandLineOption split{"split", "Fault: send replies in pieces of <n> characters.", "n"};
    QCommandLineOption splitGap{"split-gap", "Pause between the pieces of --split (default 20).",
                                "ms"};
    QCommandLineOption garbage{"garbage", "Fault: noise before the reply's '^'."};
    QCommandLineOption badCrc{"bad-crc", "Fault: corrupt the reply CRC."};
    QCommandLineOption lowerCase{"lower-case", "Fault: lower-case hex digits."};
    QCommandLineOption odd{"odd", "Fault: an odd number of hex digits."};
    QCommandLineOption trailing{"trailing", "Fault: bytes after the reply's CR."};
    QCommandLineOption nak{"nak", "Fault: refuse every write (byte 1 is not 0x1F)."};
    QCommandLineOption stale{"stale", "Fault: answer each request with the previous reply."};
    QCommandLineOption hangUpAfter{"hangup-after",
                                   "Fault: the device disappears after <s> "
                                   "seconds.",
                                   "s"};
    QCommandLineOption returnAfter{"return-after", "...and comes back <s> seconds later.", "s"};
};

bool intValue(const QCommandLineParser &parser, const QCommandLineOption &option, int &value)
{
    if (!parser.isSet(option))
        return true;
    bool ok = false;
    value = parser.value(option).toInt(&ok);
    // The bound keeps seconds turned into milliseconds within an int.
    if (!ok || value < 0 || value > 1000000) {
        printLine(stderr,
                  QStringLiteral("vornex-sim: --%1 needs a whole number up to 1000000, not '%2'")
                      .arg(option.names().first(), parser.value(option)));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vornex-sim"));

    Options o;
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(Description));
    parser.addHelpOption();
    parser.addOptions({o.link,     o.noPace,    o.noLineCheck, o.adapterLatency, o.load,
                       o.input,    o.reference, o.fineBelow,   o.noise,          o.state,
                       o.quiet,    o.silent,    o.silentFirst, o.delay,          o.split,
                       o.splitGap, o.garbage,   o.badCrc,      o.lowerCase,      o.odd,
                       o.trailing, o.nak,       o.stale,       o.hangUpAfter,    o.returnAfter});
    parser.process(app);

    ConverterEmulator emulator;
    emulator.setPaced(!parser.isSet(o.noPace));
    emulator.setLineCheck(!parser.isSet(o.noLineCheck));
    emulator.setNoise(parser.isSet(o.noise));
    if (parser.isSet(o.load)) {
        bool ok = false;
        const double ohms = parser.value(o.load).toDouble(&ok);
        if (!ok || ohms < 0) {
            printLine(stderr, QStringLiteral("vornex-sim: --load needs a resistance in ohms"));
            return 2;
        }
        emulator.setLoadResistance(ohms);
    }
    int input = 24000;
    int reference = 2500;
    int fineBelow = 100;
    FaultSettings faults;
    int hangUpAfter = 0;
    int returnAfter = 0;
    int adapterLatency = 0;
    if (!intValue(parser, o.adapterLatency, adapterLatency) || !intValue(parser, o.input, input) ||
        !intValue(parser, o.reference, reference) || !intValue(parser, o.fineBelow, fineBelow) ||
        !intValue(parser, o.silentFirst, faults.silentFirst) ||
        !intValue(parser, o.delay, faults.delayMs) ||
        !intValue(parser, o.split, faults.splitSize) ||
        !intValue(parser, o.splitGap, faults.splitGapMs) ||
        !intValue(parser, o.hangUpAfter, hangUpAfter) ||
        !intValue(parser, o.returnAfter, returnAfter))
        return 2;
    emulator.setAdapterLatencyMs(adapterLatency);
    emulator.setInputVoltage(input);
    emulator.setReferenceVoltage(reference);
    emulator.setFineRangeThreshold(fineBelow);
    faults.silent = parser.isSet(o.silent);
    faults.garbage = parser.isSet(o.garbage) ? FaultSettings::defaultGarbage() : QByteArray();
    faults.badCrc = parser.isSet(o.badCrc);
    faults.lowerCase = parser.isSet(o.lowerCase);
    faults.oddDigits = parser.isSet(o.odd);
    faults.trailing = parser.isSet(o.trailing) ? FaultSettings::defaultTrailing() : QByteArray();
    faults.nak = parser.isSet(o.nak);
    faults.stale = parser.isSet(o.stale);
    emulator.setFaults(faults);

    QString error;
    if (parser.isSet(o.state) && !emulator.setStateFile(parser.value(o.state), &error)) {
        printLine(stderr, QStringLiteral("vornex-sim: %1").arg(error));
        return 1;
    }
    const QString link = parser.value(o.link);
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
    if (!parser.isSet(o.quiet)) {
        QObject::connect(&emulator, &ConverterEmulator::requestReceived,
                         [](const EmulatorRequest &r) { printLine(stderr, requestLogLine(r)); });
    }
    if (!emulator.start(&error)) {
        printLine(stderr,
                  QStringLiteral("vornex-sim: cannot open a pseudo-terminal: %1").arg(error));
        return 1;
    }

    if (hangUpAfter > 0) {
        QTimer::singleShot(hangUpAfter * 1000, &emulator, [&emulator, returnAfter] {
            if (returnAfter > 0)
                emulator.hangUpFor(returnAfter * 1000);
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
