#include "remote/scpiparser.h"

#include "session/valuelimits.h"

#include <cmath>
#include <initializer_list>

namespace ScpiErrors {
ScpiError NoError()
{
    return {0, "No error"};
}
ScpiError SyntaxError()
{
    return {-102, "Syntax error"};
}
ScpiError DataTypeError()
{
    return {-104, "Data type error"};
}
ScpiError ParameterNotAllowed()
{
    return {-108, "Parameter not allowed"};
}
ScpiError MissingParameter()
{
    return {-109, "Missing parameter"};
}
ScpiError UndefinedHeader()
{
    return {-113, "Undefined header"};
}
ScpiError InvalidSuffix()
{
    return {-131, "Invalid suffix"};
}
ScpiError DataOutOfRange()
{
    return {-222, "Data out of range"};
}
ScpiError DataOutOfRange(const QByteArray &detail)
{
    return {-222, "Data out of range;" + detail};
}
ScpiError SettingsConflict(const QByteArray &detail)
{
    return {-221, "Settings conflict;" + detail};
}
ScpiError DataStale()
{
    return {-230, "Data corrupt or stale"};
}
ScpiError HardwareError(const QByteArray &detail)
{
    return {-240, "Hardware error;" + detail};
}
ScpiError HardwareMissing()
{
    return {-241, "Hardware missing"};
}
ScpiError ExecutionError(const QByteArray &detail)
{
    return {-200, "Execution error;" + detail};
}
ScpiError DeviceSpecificError(const QByteArray &detail)
{
    return {-300, "Device-specific error;" + detail};
}
ScpiError QueueOverflow()
{
    return {-350, "Queue overflow"};
}
} // namespace ScpiErrors

namespace {

using Mnemonics = QVector<QByteArray>;

// One keyword of the command tree: its long form, how many leading letters make its short
// form, and whether it may be left out.
struct Node
{
    const char *longForm;
    int shortLength;
    bool optional;
};

enum class Forms
{
    QueryOnly,
    SetOnly,
    Both,
};

struct Pattern
{
    ScpiHeader header;
    Forms forms;
    std::initializer_list<Node> nodes;
    TripKind protection = TripKind::Voltage; // the Protection* headers
};

constexpr Node Source{"SOURCE", 4, true};
constexpr Node Level{"LEVEL", 3, true};
constexpr Node Immediate{"IMMEDIATE", 3, true};
constexpr Node Amplitude{"AMPLITUDE", 4, true};
constexpr Node Measure{"MEASURE", 4, false};
constexpr Node Scalar{"SCALAR", 4, true};
constexpr Node Dc{"DC", 2, true};
constexpr Node Adc{"ADC", 3, false};
constexpr Node VoltageNode{"VOLTAGE", 4, false};
constexpr Node CurrentNode{"CURRENT", 4, false};
constexpr Node PowerNode{"POWER", 3, false};
constexpr Node Protection{"PROTECTION", 4, false};
constexpr Node StateNode{"STATE", 4, false};
constexpr Node DelayNode{"DELAY", 3, false};
constexpr Node TrippedNode{"TRIPPED", 4, false};
constexpr Node Fetch{"FETCH", 4, false};
constexpr Node Status{"STATUS", 4, false};
constexpr Node Condition{"CONDITION", 4, false};

const Pattern TreePatterns[] = {
    {ScpiHeader::Voltage,
     Forms::Both,
     {Source, {"VOLTAGE", 4, false}, Level, Immediate, Amplitude}},
    {ScpiHeader::Current,
     Forms::Both,
     {Source, {"CURRENT", 4, false}, Level, Immediate, Amplitude}},
    {ScpiHeader::Output, Forms::Both, {{"OUTPUT", 4, false}, {"STATE", 4, true}}},
    {ScpiHeader::MeasureVoltage, Forms::QueryOnly, {Measure, Scalar, {"VOLTAGE", 4, false}, Dc}},
    {ScpiHeader::MeasureCurrent, Forms::QueryOnly, {Measure, Scalar, {"CURRENT", 4, false}, Dc}},
    {ScpiHeader::AdcVoltage, Forms::QueryOnly, {Measure, Adc, {"VOLTAGE", 4, false}}},
    {ScpiHeader::AdcCurrent, Forms::QueryOnly, {Measure, Adc, {"CURRENT", 4, false}}},
    {ScpiHeader::AdcFineCurrent,
     Forms::QueryOnly,
     {Measure, Adc, {"CURRENT", 4, false}, {"FINE", 4, false}}},
    {ScpiHeader::AdcInput, Forms::QueryOnly, {Measure, Adc, {"INPUT", 3, false}}},
    {ScpiHeader::AdcReference, Forms::QueryOnly, {Measure, Adc, {"REFERENCE", 3, false}}},
    {ScpiHeader::OperationCondition,
     Forms::QueryOnly,
     {Status, {"OPERATION", 4, false}, Condition}},
    {ScpiHeader::NextError,
     Forms::QueryOnly,
     {{"SYSTEM", 4, false}, {"ERROR", 3, false}, {"NEXT", 4, true}}},
    {ScpiHeader::Version, Forms::QueryOnly, {{"SYSTEM", 4, false}, {"VERSION", 4, false}}},
    {ScpiHeader::FetchCharge, Forms::QueryOnly, {Fetch, {"CHARGE", 4, false}}},
    {ScpiHeader::FetchEnergy, Forms::QueryOnly, {Fetch, {"ENERGY", 4, false}}},
    {ScpiHeader::FetchOnTime, Forms::QueryOnly, {Fetch, {"ONTIME", 3, false}}},
    {ScpiHeader::FetchGap, Forms::QueryOnly, {Fetch, {"GAP", 3, false}}},
    {ScpiHeader::AccumulateReset,
     Forms::SetOnly,
     {{"SENSE", 4, true}, {"ACCUMULATE", 3, false}, {"RESET", 3, false}}},
    {ScpiHeader::ProtectionLevel,
     Forms::Both,
     {Source, VoltageNode, Protection, Level},
     TripKind::Voltage},
    {ScpiHeader::ProtectionState,
     Forms::Both,
     {Source, VoltageNode, Protection, StateNode},
     TripKind::Voltage},
    {ScpiHeader::ProtectionDelay,
     Forms::Both,
     {Source, VoltageNode, Protection, DelayNode},
     TripKind::Voltage},
    {ScpiHeader::ProtectionTripped,
     Forms::QueryOnly,
     {Source, VoltageNode, Protection, TrippedNode},
     TripKind::Voltage},
    {ScpiHeader::ProtectionLevel,
     Forms::Both,
     {Source, CurrentNode, Protection, Level},
     TripKind::Current},
    {ScpiHeader::ProtectionState,
     Forms::Both,
     {Source, CurrentNode, Protection, StateNode},
     TripKind::Current},
    {ScpiHeader::ProtectionDelay,
     Forms::Both,
     {Source, CurrentNode, Protection, DelayNode},
     TripKind::Current},
    {ScpiHeader::ProtectionTripped,
     Forms::QueryOnly,
     {Source, CurrentNode, Protection, TrippedNode},
     TripKind::Current},
    {ScpiHeader::ProtectionLevel,
     Forms::Both,
     {Source, PowerNode, Protection, Level},
     TripKind::Power},
    {ScpiHeader::ProtectionState,
     Forms::Both,
     {Source, PowerNode, Protection, StateNode},
     TripKind::Power},
    {ScpiHeader::ProtectionDelay,
     Forms::Both,
     {Source, PowerNode, Protection, DelayNode},
     TripKind::Power},
    {ScpiHeader::ProtectionTripped,
     Forms::QueryOnly,
     {Source, PowerNode, Protection, TrippedNode},
     TripKind::Power},
    {ScpiHeader::ProtectionClear,
     Forms::SetOnly,
     {{"OUTPUT", 4, false}, Protection, {"CLEAR", 3, false}}},
    {ScpiHeader::QuestionableCondition,
     Forms::QueryOnly,
     {Status, {"QUESTIONABLE", 4, false}, Condition}},
};

struct CommonCommand
{
    const char *name;
    ScpiHeader header;
    Forms forms;
};

const CommonCommand CommonCommands[] = {
    {"*IDN", ScpiHeader::Identify, Forms::QueryOnly},
    {"*CLS", ScpiHeader::ClearStatus, Forms::SetOnly},
    {"*RST", ScpiHeader::Reset, Forms::SetOnly},
    {"*OPC", ScpiHeader::OperationComplete, Forms::QueryOnly},
    {"*WAI", ScpiHeader::Wait, Forms::SetOnly},
};

bool IsWhite(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

bool IsLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsWordChar(char c)
{
    return IsLetter(c) || IsDigit(c) || c == '_';
}

QByteArray Trimmed(const QByteArray &text)
{
    int begin = 0;
    int end = text.size();
    while (begin < end && IsWhite(text[begin]))
        ++begin;
    while (end > begin && IsWhite(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
}

// Splits at `separator` outside quoted strings. A quote left open runs to the end of the text;
// `leftOpen` says so.
QVector<QByteArray> SplitOutsideQuotes(const QByteArray &text, char separator, bool &leftOpen)
{
    QVector<QByteArray> parts;
    char quote = 0;
    int start = 0;
    for (int i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quote != 0) {
            if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == separator) {
            parts << text.mid(start, i - start);
            start = i + 1;
        }
    }
    leftOpen = quote != 0;
    parts << text.mid(start);
    return parts;
}

bool NodeMatches(const Node &node, const QByteArray &mnemonic)
{
    const QByteArray longForm(node.longForm);
    const QByteArray upper = mnemonic.toUpper();
    return upper == longForm || upper == longForm.left(node.shortLength);
}

bool Matches(const Mnemonics &typed, int i, const std::initializer_list<Node> &nodes, int j)
{
    if (j == static_cast<int>(nodes.size()))
        return i == typed.size();
    const Node &node = nodes.begin()[j];
    if (i < typed.size() && NodeMatches(node, typed[i]) && Matches(typed, i + 1, nodes, j + 1))
        return true;
    return node.optional && Matches(typed, i, nodes, j + 1);
}

bool FormAllowed(Forms forms, bool query)
{
    return forms == Forms::Both || (forms == Forms::QueryOnly) == query;
}

// A header in the wrong form is no command at all, so that MEAS:VOLT?;CURR 1 goes on to the
// root rather than stopping at the query MEAS:CURR?.
const Pattern *FindPattern(const Mnemonics &typed, bool query)
{
    for (const Pattern &pattern : TreePatterns) {
        if (FormAllowed(pattern.forms, query) && Matches(typed, 0, pattern.nodes, 0))
            return &pattern;
    }
    return nullptr;
}

enum class ParameterKind
{
    Number,
    Characters,
    String,
};

struct Parameter
{
    ParameterKind kind = ParameterKind::Number;
    double number = 0;
    QByteArray suffix;     // upper case
    QByteArray characters; // upper case
};

// Reads one parameter; nullopt for a malformed one.
std::optional<Parameter> ReadParameter(const QByteArray &text)
{
    Parameter parameter;
    const char first = text.at(0);
    if (first == '"' || first == '\'') {
        // Whole: the quote closes at the end (a doubled quote inside stands for one).
        if (text.size() < 2 || text.back() != first)
            return std::nullopt;
        parameter.kind = ParameterKind::String;
        return parameter;
    }
    if (IsLetter(first)) {
        for (const char c : text) {
            if (!IsWordChar(c))
                return std::nullopt;
        }
        parameter.kind = ParameterKind::Characters;
        parameter.characters = text.toUpper();
        return parameter;
    }
    int i = 0;
    if (text[i] == '+' || text[i] == '-')
        ++i;
    int digits = 0;
    while (i < text.size() && IsDigit(text[i])) {
        ++i;
        ++digits;
    }
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && IsDigit(text[i])) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return std::nullopt;
    if (i < text.size() && (text[i] == 'E' || text[i] == 'e')) {
        int exponentStart = i + 1;
        if (exponentStart < text.size() &&
            (text[exponentStart] == '+' || text[exponentStart] == '-'))
            ++exponentStart;
        int j = exponentStart;
        while (j < text.size() && IsDigit(text[j]))
            ++j;
        // An E without digits after it starts a suffix (none of ours begins with E).
        if (j > exponentStart)
            i = j;
    }
    // The text is a well-formed number by now; toDouble only fails beyond the range of a
    // double, with an infinity or zero that the range checks take as they are.
    parameter.number = text.left(i).toDouble();
    while (i < text.size() && IsWhite(text[i]))
        ++i;
    const QByteArray suffix = text.mid(i);
    for (const char c : suffix) {
        if (!IsLetter(c))
            return std::nullopt;
    }
    parameter.suffix = suffix.toUpper();
    return parameter;
}

std::optional<ScpiLimit> LimitOf(const QByteArray &characters)
{
    if (characters == "MIN" || characters == "MINIMUM")
        return ScpiLimit::Minimum;
    if (characters == "MAX" || characters == "MAXIMUM")
        return ScpiLimit::Maximum;
    return std::nullopt;
}

// A unit a value may carry, and how it turns into the base unit: times `multiplier`, divided
// by `divisor` (a division, so that 6 mV is exactly what 6 / 1000 gives).
struct Suffix
{
    const char *name;
    double multiplier;
    double divisor;
};

// What a numeric parameter may be: its range and resolution in the base unit and its suffixes
// (the base unit first; no suffix is the base unit).
struct ValueRule
{
    DecimalRange range;
    std::initializer_list<Suffix> suffixes;
};

const ValueRule VoltageSetpoint{ValueLimits::SetpointVolts, {{"V", 1, 1}, {"MV", 1, 1000}}};
const ValueRule CurrentSetpoint{ValueLimits::SetpointAmps, {{"A", 1, 1}, {"MA", 1, 1000}}};

const ValueRule &LevelRule(TripKind kind)
{
    static const ValueRule voltage{ProtectionLevelRange(TripKind::Voltage),
                                   {{"V", 1, 1}, {"MV", 1, 1000}}};
    static const ValueRule current{ProtectionLevelRange(TripKind::Current),
                                   {{"A", 1, 1}, {"MA", 1, 1000}}};
    static const ValueRule power{ProtectionLevelRange(TripKind::Power),
                                 {{"W", 1, 1}, {"MW", 1, 1000}, {"KW", 1000, 1}}};
    return kind == TripKind::Voltage ? voltage : kind == TripKind::Current ? current : power;
}

const ValueRule DelayRule{ProtectionDelayRange(), {{"S", 1, 1}, {"MS", 1, 1000}}};

// The value a write's parameter gives, or nullptr for a header that takes none.
const ValueRule *RuleOf(const ScpiCommand &command)
{
    switch (command.header) {
    case ScpiHeader::Voltage:
        return &VoltageSetpoint;
    case ScpiHeader::Current:
        return &CurrentSetpoint;
    case ScpiHeader::ProtectionLevel:
        return &LevelRule(command.protection);
    case ScpiHeader::ProtectionDelay:
        return &DelayRule;
    default:
        return nullptr;
    }
}

qint64 StepsPerUnit(const DecimalRange &range)
{
    qint64 steps = 1;
    for (int i = 0; i < range.decimals; ++i)
        steps *= 10;
    return steps;
}

// A value, rounded to the resolution as the window's box would, in thousandths of its base
// unit (mV, mA, mW, ms).
ScpiUnit TakeValue(ScpiCommand command, const Parameter &parameter, const ValueRule &rule)
{
    const qint64 stepsPerUnit = StepsPerUnit(rule.range);
    const qint64 milliPerStep = 1000 / stepsPerUnit;
    const qint64 minimum = std::llround(rule.range.minimum * stepsPerUnit);
    const qint64 maximum = std::llround(rule.range.maximum * stepsPerUnit);
    qint64 steps = 0;
    if (parameter.kind == ParameterKind::Characters) {
        const std::optional<ScpiLimit> limit = LimitOf(parameter.characters);
        if (!limit)
            return {std::nullopt, ScpiErrors::DataTypeError()};
        steps = *limit == ScpiLimit::Minimum ? minimum : maximum;
    } else if (parameter.kind == ParameterKind::String) {
        return {std::nullopt, ScpiErrors::DataTypeError()};
    } else {
        double value = parameter.number;
        if (!parameter.suffix.isEmpty()) {
            const Suffix *found = nullptr;
            for (const Suffix &suffix : rule.suffixes) {
                if (parameter.suffix == suffix.name)
                    found = &suffix;
            }
            if (found == nullptr)
                return {std::nullopt, ScpiErrors::InvalidSuffix()};
            value = value * found->multiplier / found->divisor;
        }
        const double scaled = value * stepsPerUnit;
        // Checked before rounding, so that a huge value cannot overflow the step count.
        if (!std::isfinite(scaled) || scaled < minimum - 1 || scaled > maximum + 1)
            return {std::nullopt, ScpiErrors::DataOutOfRange()};
        steps = std::llround(scaled);
        if (steps < minimum || steps > maximum)
            return {std::nullopt, ScpiErrors::DataOutOfRange()};
    }
    command.milli = static_cast<qint32>(steps * milliPerStep);
    return {command, ScpiErrors::NoError()};
}

ScpiUnit TakeSwitch(ScpiCommand command, const Parameter &parameter)
{
    if (parameter.kind == ParameterKind::Characters) {
        if (parameter.characters == "ON")
            command.on = true;
        else if (parameter.characters == "OFF")
            command.on = false;
        else
            return {std::nullopt, ScpiErrors::DataTypeError()};
        return {command, ScpiErrors::NoError()};
    }
    if (parameter.kind == ParameterKind::String)
        return {std::nullopt, ScpiErrors::DataTypeError()};
    if (!parameter.suffix.isEmpty())
        return {std::nullopt, ScpiErrors::InvalidSuffix()};
    // A number is on when it rounds to anything but zero.
    command.on = std::round(parameter.number) != 0;
    return {command, ScpiErrors::NoError()};
}

ScpiUnit TakeParameters(ScpiCommand command, const QByteArray &text)
{
    const ScpiError none = ScpiErrors::NoError();
    QVector<Parameter> parameters;
    if (!text.isEmpty()) {
        bool leftOpen = false;
        const QVector<QByteArray> parts = SplitOutsideQuotes(text, ',', leftOpen);
        if (leftOpen)
            return {std::nullopt, ScpiErrors::SyntaxError()};
        for (const QByteArray &part : parts) {
            const QByteArray trimmed = Trimmed(part);
            if (trimmed.isEmpty())
                return {std::nullopt, ScpiErrors::SyntaxError()};
            const std::optional<Parameter> parameter = ReadParameter(trimmed);
            if (!parameter)
                return {std::nullopt, ScpiErrors::SyntaxError()};
            parameters << *parameter;
        }
    }
    const ValueRule *rule = RuleOf(command);
    const bool switches =
        command.header == ScpiHeader::Output || command.header == ScpiHeader::ProtectionState;
    const bool takesValue = !command.query && (rule != nullptr || switches);
    const bool takesLimit = command.query && rule != nullptr;
    if (!takesValue && !takesLimit) {
        if (!parameters.isEmpty())
            return {std::nullopt, ScpiErrors::ParameterNotAllowed()};
        return {command, none};
    }
    if (parameters.size() > 1)
        return {std::nullopt, ScpiErrors::ParameterNotAllowed()};
    if (takesLimit) {
        if (parameters.isEmpty())
            return {command, none};
        const Parameter &parameter = parameters.front();
        command.limit = parameter.kind == ParameterKind::Characters ? LimitOf(parameter.characters)
                                                                    : std::nullopt;
        if (!command.limit)
            return {std::nullopt, ScpiErrors::DataTypeError()};
        return {command, none};
    }
    if (parameters.isEmpty())
        return {std::nullopt, ScpiErrors::MissingParameter()};
    return rule != nullptr ? TakeValue(command, parameters.front(), *rule)
                           : TakeSwitch(command, parameters.front());
}

// Parses one unit. `path` holds the keywords under which a relative header is looked up first;
// it becomes this unit's path when its header is a tree command.
ScpiUnit ParseUnit(const QByteArray &unit, Mnemonics &path)
{
    int i = 0;
    const bool common = unit[0] == '*';
    const bool rooted = unit[0] == ':';
    Mnemonics typed;
    QByteArray commonName;
    if (common) {
        i = 1;
        while (i < unit.size() && IsLetter(unit[i]))
            ++i;
        commonName = unit.left(i).toUpper();
        if (commonName.size() == 1)
            return {std::nullopt, ScpiErrors::SyntaxError()};
    } else {
        if (rooted)
            ++i;
        while (true) {
            const int start = i;
            if (i >= unit.size() || !IsLetter(unit[i]))
                return {std::nullopt, ScpiErrors::SyntaxError()};
            while (i < unit.size() && IsWordChar(unit[i]))
                ++i;
            typed << unit.mid(start, i - start);
            if (i < unit.size() && unit[i] == ':')
                ++i;
            else
                break;
        }
    }
    ScpiCommand command;
    if (i < unit.size() && unit[i] == '?') {
        command.query = true;
        ++i;
    }
    if (i < unit.size() && !IsWhite(unit[i]))
        return {std::nullopt, ScpiErrors::SyntaxError()};
    const QByteArray parameters = Trimmed(unit.mid(i));

    if (common) {
        for (const CommonCommand &candidate : CommonCommands) {
            if (commonName == candidate.name && FormAllowed(candidate.forms, command.query)) {
                command.header = candidate.header;
                return TakeParameters(command, parameters);
            }
        }
        return {std::nullopt, ScpiErrors::UndefinedHeader()};
    }
    const Pattern *pattern = nullptr;
    Mnemonics full = typed;
    if (!rooted && !path.isEmpty()) {
        full = path + typed;
        pattern = FindPattern(full, command.query);
    }
    if (pattern == nullptr) {
        full = typed;
        pattern = FindPattern(full, command.query);
    }
    if (pattern == nullptr)
        return {std::nullopt, ScpiErrors::UndefinedHeader()};
    full.removeLast();
    path = full;
    command.header = pattern->header;
    command.protection = pattern->protection;
    return TakeParameters(command, parameters);
}

} // namespace

QVector<ScpiUnit> ParseScpiLine(const QByteArray &line)
{
    QVector<ScpiUnit> units;
    // The unit with an open quote fails in its own parameters; those before it still run.
    bool leftOpen = false;
    const QVector<QByteArray> parts = SplitOutsideQuotes(line, ';', leftOpen);
    Mnemonics path;
    for (const QByteArray &part : parts) {
        const QByteArray unit = Trimmed(part);
        if (!unit.isEmpty())
            units << ParseUnit(unit, path);
    }
    return units;
}
