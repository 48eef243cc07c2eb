#include "sim/consolecommands.h"

#include "sim/converteremulator.h"
#include "sim/requestlogline.h"

#include <QStringList>

#include <cmath>
#include <limits>

namespace ConsoleCommands {

namespace {

// Keeps seconds turned into milliseconds within an int.
constexpr double MaxSeconds = 1e6;

bool toInt(const QStringList &words, int index, int &value)
{
    bool ok = false;
    value = index < words.size() ? words.at(index).toInt(&ok) : 0;
    return ok && value >= 0;
}

QString faultText(const FaultSettings &f)
{
    QStringList on;
    if (f.silent)
        on << QStringLiteral("silent");
    if (f.silentFirst > 0)
        on << QStringLiteral("silent-first %1").arg(f.silentFirst);
    if (f.delayMs > 0)
        on << QStringLiteral("delay %1 ms").arg(f.delayMs);
    if (f.splitSize > 0)
        on << QStringLiteral("split %1 every %2 ms").arg(f.splitSize).arg(f.splitGapMs);
    if (!f.garbage.isEmpty())
        on << QStringLiteral("garbage");
    if (f.badCrc)
        on << QStringLiteral("bad-crc");
    if (f.lowerCase)
        on << QStringLiteral("lower-case");
    if (f.oddDigits)
        on << QStringLiteral("odd");
    if (!f.trailing.isEmpty())
        on << QStringLiteral("trailing");
    if (f.nak)
        on << QStringLiteral("nak");
    if (f.stale)
        on << QStringLiteral("stale");
    if (f.flood == FaultSettings::Flood::RandomBytes)
        on << QStringLiteral("flood");
    if (f.flood == FaultSettings::Flood::HexWithoutEnd)
        on << QStringLiteral("flood-hex");
    if (f.overvoltageMv > 0)
        on << QStringLiteral("overvoltage %1 mV").arg(f.overvoltageMv);
    return on.isEmpty() ? QStringLiteral("none") : on.join(QStringLiteral(", "));
}

QString show(ConverterEmulator &emulator)
{
    const Setpoints set = emulator.setpoints();
    const OutputStatus s = emulator.status();
    const AdcReadings a = emulator.adc();
    const std::optional<LineSettings> line = emulator.clientLineSettings();
    const std::optional<LoadProfile> profile = emulator.loadProfile();
    return QStringLiteral("setpoints %1 mV %2 mA, output %3, load %4 ohm%18\n"
                          "status: voltage %5 x10 mV, current %6, range %7, CC %8, CV %9\n"
                          "ADC: %10 mV, %11 mA, fine %12, Uin %13 mV, Uref %14 mV\n"
                          "faults: %15\n"
                          "serial end set to %16, line check %17")
        .arg(set.voltage)
        .arg(set.current)
        .arg(emulator.outputOn() ? QStringLiteral("on") : QStringLiteral("off"))
        .arg(emulator.loadResistance())
        .arg(s.voltage)
        .arg(s.current)
        .arg(s.currentRange)
        .arg(s.ccMode)
        .arg(s.cvMode)
        .arg(a.sdadcVoltage)
        .arg(a.sdadcCurrent)
        .arg(a.fineCurrent)
        .arg(a.inputVoltage)
        .arg(a.referenceVoltage)
        .arg(faultText(emulator.faults()))
        .arg(line ? line->text() : QStringLiteral("nothing (hung up)"))
        .arg(emulator.lineCheck() ? QStringLiteral("on") : QStringLiteral("off"))
        .arg(profile ? QStringLiteral(" (profile %1)").arg(profile->text()) : QString());
}

// Fixed point, never an exponent: 15 decimals keep 9 significant digits down to 1 µAh, and
// the on-time is whole milliseconds, as the model counts it.
QString deliveredText(const DeliveredEnergy &d)
{
    return QStringLiteral("delivered charge %1 Ah, energy %2 Wh, on %3.%4 s")
        .arg(d.ampereHours(), 0, 'f', 15)
        .arg(d.wattHours(), 0, 'f', 15)
        .arg(d.onMs / 1000)
        .arg(d.onMs % 1000, 3, 10, QLatin1Char('0'));
}

QString requestsFrom(const ConverterEmulator &emulator, int from)
{
    const QVector<EmulatorRequest> requests = emulator.requests();
    QStringList lines{QStringLiteral("requests %1").arg(requests.size())};
    for (int i = from; i < requests.size(); ++i)
        lines << requestLogLine(requests.at(i));
    return lines.join(QLatin1Char('\n'));
}

// "fault NAME": switch one more fault on; "fault none" clears them all.
bool applyFault(FaultSettings &f, const QString &name)
{
    if (name == QLatin1String("none"))
        f = FaultSettings();
    else if (name == QLatin1String("silent"))
        f.silent = true;
    else if (name == QLatin1String("garbage"))
        f.garbage = FaultSettings::defaultGarbage();
    else if (name == QLatin1String("bad-crc"))
        f.badCrc = true;
    else if (name == QLatin1String("lower-case"))
        f.lowerCase = true;
    else if (name == QLatin1String("odd"))
        f.oddDigits = true;
    else if (name == QLatin1String("trailing"))
        f.trailing = FaultSettings::defaultTrailing();
    else if (name == QLatin1String("nak"))
        f.nak = true;
    else if (name == QLatin1String("stale"))
        f.stale = true;
    else if (name == QLatin1String("flood"))
        f.flood = FaultSettings::Flood::RandomBytes;
    else if (name == QLatin1String("flood-hex"))
        f.flood = FaultSettings::Flood::HexWithoutEnd;
    else
        return false;
    return true;
}

// "load-profile OHMS,... [S [ramp]]"
std::optional<LoadProfile> profileFrom(const QStringList &words)
{
    if (words.size() < 2 || words.size() > 4)
        return std::nullopt;
    bool ok = true;
    const double seconds =
        words.size() > 2 ? words.at(2).toDouble(&ok) : LoadProfile::DefaultStepMs / 1000.0;
    const bool ramp = words.size() > 3;
    if (!ok || !(seconds >= 0.001 && seconds <= MaxSeconds) ||
        (ramp && words.at(3).toLower() != QLatin1String("ramp")))
        return std::nullopt;
    return LoadProfile::parse(words.at(1).toLower(), std::llround(seconds * 1000), ramp);
}

} // namespace

QString help()
{
    return QStringLiteral(
        "commands:\n"
        "  show                      setpoints, readings, faults and line settings now\n"
        "  fault NAME                add a fault: silent, garbage, bad-crc, lower-case, odd,\n"
        "                            trailing, nak, stale, flood (random bytes at full\n"
        "                            speed instead of replies), flood-hex ('^' and hex\n"
        "                            digits, never a CR); 'fault none' clears all faults\n"
        "  fault overvoltage MV      a failing regulator: the output MV above the voltage\n"
        "                            setpoint in CV (in CC the current limit still rules)\n"
        "  delay MS                  delay every reply (0: off)\n"
        "  split N [GAP_MS]          send replies in pieces of N characters (0: off)\n"
        "  silent-first K            ignore the next K requests\n"
        "  latency MS                hand replies over in batches, as a USB adapter whose\n"
        "                            latency timer is MS does (0: each character at once)\n"
        "  hangup [S] | return       the device disappears (for S seconds) | comes back at\n"
        "                            the same link\n"
        "  load OHMS | load open     load resistance (ends a profile)\n"
        "  load-profile OHMS,... [S [ramp]]\n"
        "                            hold each load of the list for S seconds (default 30)\n"
        "                            in a cycle, or ramp between them; 'load-profile off'\n"
        "                            keeps the load where it is\n"
        "  input MV | reference MV   input or reference voltage\n"
        "  noise on|off              a little noise on the readings\n"
        "  output on|off             switch the output as the device's own button would\n"
        "  line-check on|off         understand only a serial end set to 9200 8N1 | any\n"
        "  set MV MA                 voltage and current setpoints\n"
        "  requests [FROM]           how many requests came, then the log line of each from\n"
        "                            number FROM (counted from 0) on\n"
        "  energy                    what the output delivered since the last reset, exact:\n"
        "                            'delivered charge A Ah, energy E Wh, on S s'\n"
        "  energy reset              count from zero; answers 'reset after ' and the counts\n"
        "                            until then\n"
        "  help | quit");
}

Result execute(ConverterEmulator &emulator, const QString &line)
{
    const QStringList words = line.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty())
        return {};
    const QString command = words.first().toLower();
    const QString argument = words.value(1).toLower();
    FaultSettings f = emulator.faults();
    int n = 0;
    int m = 0;

    if (command == QLatin1String("help"))
        return {help()};
    if (command == QLatin1String("quit") || command == QLatin1String("exit"))
        return {QStringLiteral("bye"), true};
    if (command == QLatin1String("show"))
        return {show(emulator)};
    if (command == QLatin1String("requests") && (words.size() == 1 || toInt(words, 1, n)))
        return {requestsFrom(emulator, n)};
    if (command == QLatin1String("fault") && argument == QLatin1String("overvoltage") &&
        words.size() == 3 && toInt(words, 2, n) && n <= 0xFFFF) {
        f.overvoltageMv = n;
        emulator.setFaults(f);
        return {QStringLiteral("faults: ") + faultText(f)};
    }
    if (command == QLatin1String("fault") && applyFault(f, argument)) {
        emulator.setFaults(f);
        return {QStringLiteral("faults: ") + faultText(f)};
    }
    if (command == QLatin1String("energy") && words.size() == 1)
        return {deliveredText(emulator.delivered())};
    if (command == QLatin1String("energy") && words.size() == 2 &&
        argument == QLatin1String("reset"))
        return {QStringLiteral("reset after ") + deliveredText(emulator.resetDelivered())};
    if (command == QLatin1String("delay") && toInt(words, 1, n)) {
        f.delayMs = n;
        emulator.setFaults(f);
        return {QStringLiteral("faults: ") + faultText(f)};
    }
    if (command == QLatin1String("split") && toInt(words, 1, n)) {
        f.splitSize = n;
        if (words.size() > 2 && toInt(words, 2, m))
            f.splitGapMs = m;
        emulator.setFaults(f);
        return {QStringLiteral("faults: ") + faultText(f)};
    }
    if (command == QLatin1String("silent-first") && toInt(words, 1, n)) {
        f.silentFirst = n;
        emulator.setFaults(f);
        return {QStringLiteral("faults: ") + faultText(f)};
    }
    if (command == QLatin1String("latency") && toInt(words, 1, n)) {
        emulator.setAdapterLatencyMs(n);
        return {QStringLiteral("adapter latency %1 ms").arg(n)};
    }
    if (command == QLatin1String("hangup") && words.size() == 1) {
        emulator.hangUp();
        return {QStringLiteral("hung up; 'return' brings it back")};
    }
    if (command == QLatin1String("hangup") && words.size() == 2) {
        bool ok = false;
        const double seconds = argument.toDouble(&ok);
        if (ok && seconds >= 0 && seconds <= MaxSeconds) {
            emulator.hangUpFor(int(std::lround(seconds * 1000)));
            return {QStringLiteral("hung up; back in %1 s").arg(seconds)};
        }
    }
    if (command == QLatin1String("return")) {
        QString error;
        if (!emulator.comeBack(&error))
            return {QStringLiteral("cannot return: ") + error};
        return {QStringLiteral("back at ") + emulator.serialPath()};
    }
    if (command == QLatin1String("load") && words.size() == 2) {
        bool ok = argument == QLatin1String("open");
        const double ohms = ok ? std::numeric_limits<double>::infinity() : argument.toDouble(&ok);
        if (ok && ohms >= 0) {
            emulator.setLoadResistance(ohms);
            return {QStringLiteral("load %1 ohm").arg(ohms)};
        }
    }
    if (command == QLatin1String("load-profile") && words.size() == 2 &&
        argument == QLatin1String("off")) {
        emulator.setLoadProfile(std::nullopt);
        return {QStringLiteral("load %1 ohm").arg(emulator.loadResistance())};
    }
    if (command == QLatin1String("load-profile")) {
        if (const std::optional<LoadProfile> profile = profileFrom(words)) {
            emulator.setLoadProfile(profile);
            return {QStringLiteral("load profile ") + profile->text()};
        }
    }
    if (command == QLatin1String("input") && toInt(words, 1, n)) {
        emulator.setInputVoltage(n);
        return {QStringLiteral("input %1 mV").arg(n)};
    }
    if (command == QLatin1String("reference") && toInt(words, 1, n)) {
        emulator.setReferenceVoltage(n);
        return {QStringLiteral("reference %1 mV").arg(n)};
    }
    const bool onOff = argument == QLatin1String("on") || argument == QLatin1String("off");
    if (command == QLatin1String("noise") && onOff) {
        emulator.setNoise(argument == QLatin1String("on"));
        return {QStringLiteral("noise ") + argument};
    }
    if (command == QLatin1String("line-check") && onOff) {
        emulator.setLineCheck(argument == QLatin1String("on"));
        return {QStringLiteral("line check ") + argument};
    }
    if (command == QLatin1String("output") && onOff) {
        emulator.setOutputOn(argument == QLatin1String("on"));
        return {QStringLiteral("output ") + argument};
    }
    if (command == QLatin1String("set") && toInt(words, 1, n) && toInt(words, 2, m) &&
        n <= 0xFFFF && m <= 0x7FFF) {
        emulator.setSetpoints({n, m});
        return {QStringLiteral("setpoints %1 mV %2 mA").arg(n).arg(m)};
    }
    return {QStringLiteral("not understood: %1 (try 'help')").arg(line.trimmed())};
}

} // namespace ConsoleCommands
