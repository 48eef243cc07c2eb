#include "remote/scpiparser.h"
#include "session/valuelimits.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

bool SameUnit(const ScpiUnit &a, const ScpiUnit &b)
{
    if (!(a.error == b.error) || a.command.has_value() != b.command.has_value())
        return false;
    if (!a.command)
        return true;
    const ScpiCommand &x = *a.command;
    const ScpiCommand &y = *b.command;
    return x.header == y.header && x.query == y.query && x.limit == y.limit && x.milli == y.milli &&
           x.on == y.on;
}

bool SameUnits(const QVector<ScpiUnit> &a, const QVector<ScpiUnit> &b)
{
    if (a.size() != b.size())
        return false;
    for (int i = 0; i < a.size(); ++i) {
        if (!SameUnit(a[i], b[i]))
            return false;
    }
    return true;
}

bool IsParserError(int code)
{
    for (const int known : {-102, -104, -108, -109, -113, -131, -222}) {
        if (code == known)
            return true;
    }
    return false;
}

qint32 Milli(double value)
{
    return qint32(std::lround(value * 1000));
}

// A command and no error, or an error the parser gives and no command; a setpoint write inside
// the panel's range at its resolution; nothing set that the command does not carry.
void CheckUnit(const ScpiUnit &unit)
{
    if (!unit.command) {
        if (!IsParserError(unit.error.code) || unit.error.text.isEmpty())
            std::abort();
        return;
    }
    if (!(unit.error == ScpiErrors::NoError()))
        std::abort();
    const ScpiCommand &command = *unit.command;
    const bool voltage = command.header == ScpiHeader::Voltage;
    const bool setpoint = voltage || command.header == ScpiHeader::Current;
    if (command.limit && !(setpoint && command.query))
        std::abort();
    if (command.on && (command.query || command.header != ScpiHeader::Output))
        std::abort();
    if (!setpoint || command.query) {
        if (command.milli != 0)
            std::abort();
        return;
    }
    const DecimalRange range = voltage ? ValueLimits::SetpointVolts : ValueLimits::SetpointAmps;
    const qint32 step = voltage ? 10 : 1;
    if (command.milli < Milli(range.minimum) || command.milli > Milli(range.maximum) ||
        command.milli % step != 0)
        std::abort();
}

bool IsBlank(const QByteArray &line)
{
    for (const char c : line) {
        if (c != ' ' && c != '\t' && c != '\r' && c != ';')
            return false;
    }
    return true;
}

QByteArray AsciiUpper(QByteArray line)
{
    for (char &c : line) {
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    }
    return line;
}

void CheckLine(const QByteArray &line)
{
    const QVector<ScpiUnit> units = ParseScpiLine(line);
    for (const ScpiUnit &unit : units)
        CheckUnit(unit);
    if (units.isEmpty() != IsBlank(line) || units.size() > line.count(';') + 1)
        std::abort();
    // Keywords, suffixes and character data are the same in any case.
    if (!SameUnits(ParseScpiLine(AsciiUpper(line)), units))
        std::abort();
    // A common command in front changes nothing after it.
    const QVector<ScpiUnit> prefixed = ParseScpiLine("*OPC?;" + line);
    if (prefixed.isEmpty() || !prefixed.front().command ||
        prefixed.front().command->header != ScpiHeader::OperationComplete ||
        !SameUnits(prefixed.mid(1), units))
        std::abort();
}

} // namespace

// Any bytes from a script's socket: the whole input as one line, then split into lines as a
// client does (at LF, a CR before it dropped).
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), int(size));
    CheckLine(input);

    int start = 0;
    for (int end = input.indexOf('\n'); end >= 0; end = input.indexOf('\n', start)) {
        QByteArray line = input.mid(start, end - start);
        if (line.endsWith('\r'))
            line.chop(1);
        CheckLine(line);
        start = end + 1;
    }
    return 0;
}
