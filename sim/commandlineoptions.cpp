#include "sim/commandlineoptions.h"

#include "sim/converteremulator.h"

#include <QCommandLineOption>
#include <QCommandLineParser>

#include <cmath>

namespace CommandLineOptions {

namespace {

// Large enough for every option, small enough that seconds in milliseconds fit an int.
constexpr int MaxWholeNumber = 1000000;

bool wholeNumber(const QCommandLineParser &parser, const QString &name, int &value, QString *error,
                 int maximum = MaxWholeNumber)
{
    if (!parser.isSet(name))
        return true;
    bool ok = false;
    const int parsed = parser.value(name).toInt(&ok);
    if (!ok || parsed < 0 || parsed > maximum) {
        if (error)
            *error = QStringLiteral("--%1 needs a whole number from 0 to %2, not '%3'")
                         .arg(name)
                         .arg(maximum)
                         .arg(parser.value(name));
        return false;
    }
    value = parsed;
    return true;
}

bool loadProfile(const QCommandLineParser &parser, std::optional<LoadProfile> &profile,
                 QString *error)
{
    const auto fail = [error](const QString &text) {
        if (error)
            *error = text;
        return false;
    };
    if (!parser.isSet("load-profile")) {
        if (parser.isSet("load-step") || parser.isSet("load-ramp"))
            return fail(QStringLiteral("--load-step and --load-ramp need --load-profile"));
        return true;
    }
    double stepS = LoadProfile::DefaultStepMs / 1000.0;
    if (parser.isSet("load-step")) {
        bool ok = false;
        stepS = parser.value("load-step").toDouble(&ok);
        if (!ok || !(stepS >= 0.001 && stepS <= MaxWholeNumber))
            return fail(QStringLiteral("--load-step needs seconds from 0.001 to %1, not '%2'")
                            .arg(MaxWholeNumber)
                            .arg(parser.value("load-step")));
    }
    profile = LoadProfile::parse(parser.value("load-profile"), std::llround(stepS * 1000),
                                 parser.isSet("load-ramp"));
    if (!profile)
        return fail(QStringLiteral("--load-profile needs resistances in ohms or 'open' "
                                   "separated by commas, not '%1'")
                        .arg(parser.value("load-profile")));
    return true;
}

} // namespace

void addTo(QCommandLineParser &parser)
{
    parser.addOptions({
        {"link", "Keep a symbolic link to the serial end at <path>.", "path"},
        {"no-pace", "Do not hold characters to 9200 baud."},
        {"no-line-check", "Answer whatever line settings the serial end is set to (by default "
                          "only 9200 baud 8N1 is understood)."},
        {"adapter-latency",
         "Hand replies to the PC in batches, as a USB serial adapter with a latency timer of "
         "<ms> does (FTDI: 16).",
         "ms"},
        {"output-on", "Start with the output switched on."},
        {"voltage", "Voltage setpoint in mV (default 5000).", "mV"},
        {"current", "Current setpoint in mA (default 1000).", "mA"},
        {"load", "Load resistance in ohms, 0 for open circuit (default 10).", "ohms"},
        {"load-profile",
         "Vary the load: hold each resistance of the list (e.g. 10,22,47; 'open' for an open "
         "circuit) for one step, in a cycle. Overrides --load.",
         "ohms,..."},
        {"load-step", "Step of --load-profile in seconds (default 30).", "s"},
        {"load-ramp", "Move the load from each resistance of --load-profile to the next over "
                      "its step instead of jumping."},
        {"input", "Input voltage in mV (default 24000).", "mV"},
        {"reference", "Reference voltage in mV (default 2500).", "mV"},
        {"fine-below", "Fine current range below <mA> (default 100).", "mA"},
        {"noise", "Add a little noise to the readings."},
        {"state", "Keep calibration, user parameters and life counter in <file>.", "file"},
        {"quiet", "Do not log the requests."},
        {"console-port",
         "Also take console commands on TCP <port> of 127.0.0.1, each answer followed by an "
         "empty line.",
         "port"},
        {"silent", "Fault: never answer."},
        {"silent-first", "Fault: ignore the first <k> requests.", "k"},
        {"delay", "Fault: delay every reply by <ms>.", "ms"},
        {"split", "Fault: send replies in pieces of <n> characters.", "n"},
        {"split-gap", "Pause between the pieces of --split (default 20).", "ms"},
        {"garbage", "Fault: noise before the reply's '^'."},
        {"bad-crc", "Fault: corrupt the reply CRC."},
        {"lower-case", "Fault: lower-case hex digits."},
        {"odd", "Fault: an odd number of hex digits."},
        {"trailing", "Fault: bytes after the reply's CR."},
        {"nak", "Fault: refuse every write (byte 1 is not 0x1F, nothing changes)."},
        {"stale", "Fault: answer each request with the previous reply."},
        {"overvoltage",
         "Fault: a failing regulator holds the output <mV> above the voltage setpoint in "
         "constant voltage (the current limit still holds).",
         "mV"},
        {"flood",
         "Fault: instead of replies, noise as fast as the line takes it: 'random' bytes, or "
         "'hex', '^' and hex digits that never end.",
         "kind"},
        {"hangup-after", "Fault: the device disappears after <s> seconds.", "s"},
        {"return-after", "...and comes back <s> seconds later.", "s"},
    });
}

bool apply(const QCommandLineParser &parser, ConverterEmulator &emulator, Program &program,
           QString *error)
{
    int input = 24000;
    int reference = 2500;
    int fineBelow = 100;
    int adapterLatency = 0;
    int consolePort = 0;
    FaultSettings faults;
    Setpoints setpoints = emulator.setpoints();
    if (!wholeNumber(parser, "voltage", setpoints.voltage, error, 0xFFFF) ||
        !wholeNumber(parser, "current", setpoints.current, error, 0x7FFF) ||
        !wholeNumber(parser, "adapter-latency", adapterLatency, error) ||
        !wholeNumber(parser, "console-port", consolePort, error, 0xFFFF) ||
        !wholeNumber(parser, "input", input, error, 0xFFFF) ||
        !wholeNumber(parser, "reference", reference, error, 0xFFFF) ||
        !wholeNumber(parser, "fine-below", fineBelow, error) ||
        !wholeNumber(parser, "silent-first", faults.silentFirst, error) ||
        !wholeNumber(parser, "delay", faults.delayMs, error) ||
        !wholeNumber(parser, "split", faults.splitSize, error) ||
        !wholeNumber(parser, "split-gap", faults.splitGapMs, error) ||
        !wholeNumber(parser, "overvoltage", faults.overvoltageMv, error, 0xFFFF) ||
        !wholeNumber(parser, "hangup-after", program.hangUpAfterS, error) ||
        !wholeNumber(parser, "return-after", program.returnAfterS, error))
        return false;
    double ohms = emulator.loadResistance();
    if (parser.isSet("load")) {
        bool ok = false;
        ohms = parser.value("load").toDouble(&ok);
        if (!ok || !(ohms >= 0)) {
            if (error)
                *error = QStringLiteral("--load needs a resistance in ohms, not '%1'")
                             .arg(parser.value("load"));
            return false;
        }
    }
    std::optional<LoadProfile> profile;
    if (!loadProfile(parser, profile, error))
        return false;

    emulator.setPaced(!parser.isSet("no-pace"));
    emulator.setLineCheck(!parser.isSet("no-line-check"));
    emulator.setAdapterLatencyMs(adapterLatency);
    emulator.setSetpoints(setpoints);
    emulator.setOutputOn(parser.isSet("output-on"));
    emulator.setLoadResistance(ohms);
    if (profile)
        emulator.setLoadProfile(profile);
    emulator.setInputVoltage(input);
    emulator.setReferenceVoltage(reference);
    emulator.setFineRangeThreshold(fineBelow);
    emulator.setNoise(parser.isSet("noise"));
    faults.silent = parser.isSet("silent");
    faults.garbage = parser.isSet("garbage") ? FaultSettings::defaultGarbage() : QByteArray();
    faults.badCrc = parser.isSet("bad-crc");
    faults.lowerCase = parser.isSet("lower-case");
    faults.oddDigits = parser.isSet("odd");
    faults.trailing = parser.isSet("trailing") ? FaultSettings::defaultTrailing() : QByteArray();
    faults.nak = parser.isSet("nak");
    faults.stale = parser.isSet("stale");
    if (parser.isSet("flood")) {
        const QString kind = parser.value("flood");
        if (kind == QLatin1String("random")) {
            faults.flood = FaultSettings::Flood::RandomBytes;
        } else if (kind == QLatin1String("hex")) {
            faults.flood = FaultSettings::Flood::HexWithoutEnd;
        } else {
            if (error)
                *error = QStringLiteral("--flood needs 'random' or 'hex', not '%1'").arg(kind);
            return false;
        }
    }
    emulator.setFaults(faults);

    program.link = parser.value("link");
    program.stateFile = parser.value("state");
    program.quiet = parser.isSet("quiet");
    program.consolePort = quint16(consolePort);
    return true;
}

} // namespace CommandLineOptions
