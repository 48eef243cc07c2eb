#include "cli/commandline.h"

#include "cli/valuetext.h"
#include "link/quantities.h"
#include "session/portlist.h"

#include <QMap>

#include <limits>

namespace {

// The log period's range is the panel's: 00:00:01 to 00:10:00.
constexpr int LongestLogPeriodSeconds = 600;

const QStringList ValueOptions{"port", "via", "period", "count", "source", "time"};
const QStringList FlagOptions{"json", "trace", "comma", "help", "version"};
const QStringList LogOptions{"period", "count", "source", "time", "comma"};

const QMap<QString, int> LogSources{{"display", 0}, {"adc", 1}};
const QMap<QString, int> TimeForms{{"hms", 0}, {"ms", 1}, {"s", 2}, {"clock", 3}};

const QMap<QString, CliAction> SimpleCommands{
    {"status", CliAction::Status}, {"adc", CliAction::Adc}, {"setpoints", CliAction::Setpoints},
    {"on", CliAction::On},         {"off", CliAction::Off}, {"log", CliAction::Log},
};

bool IsCommandName(const QString &word)
{
    return SimpleCommands.contains(word) || word == QLatin1String("set") ||
           word == QLatin1String("calibration") || word == QLatin1String("user") ||
           word == QLatin1String("counters");
}

// A word starting with '-' is still a value when a number follows, so "set -1 2" can be told
// that -1 is out of range.
bool LooksLikeOption(const QString &word)
{
    return word.size() > 1 && word.startsWith(QLatin1Char('-')) && !word.at(1).isDigit() &&
           word.at(1) != QLatin1Char('.');
}

struct Words
{
    QStringList positional;
    QMap<QString, QString> options; // name without dashes to value ("" for flags)
    QString error;
};

Words SplitWords(const QStringList &arguments)
{
    Words words;
    bool optionsEnded = false;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &word = arguments.at(i);
        if (optionsEnded || !LooksLikeOption(word)) {
            words.positional << word;
            continue;
        }
        if (word == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        if (word == QLatin1String("-h")) {
            words.options.insert(QStringLiteral("help"), QString());
            continue;
        }
        const int equals = word.indexOf(QLatin1Char('='));
        const QString name = word.mid(2, equals < 0 ? -1 : equals - 2);
        if (!word.startsWith(QLatin1String("--")) ||
            (!ValueOptions.contains(name) && !FlagOptions.contains(name))) {
            words.error = QStringLiteral("неизвестный параметр %1").arg(word);
            return words;
        }
        if (FlagOptions.contains(name)) {
            if (equals >= 0) {
                words.error = QStringLiteral("параметр --%1 не принимает значения").arg(name);
                return words;
            }
            words.options.insert(name, QString());
        } else if (equals >= 0) {
            words.options.insert(name, word.mid(equals + 1));
        } else if (i + 1 < arguments.size()) {
            words.options.insert(name, arguments.at(++i));
        } else {
            words.error = QStringLiteral("для параметра --%1 нужно значение").arg(name);
            return words;
        }
    }
    return words;
}

QString SetpointsFromWords(const QStringList &values, Setpoints &setpoints)
{
    QString problem;
    const std::optional<double> volts =
        ParseDecimal(values.at(0), ValueLimits::SetpointVolts, QStringLiteral("В"), problem);
    if (!volts)
        return QStringLiteral("напряжение: ") + problem;
    const std::optional<double> amps =
        ParseDecimal(values.at(1), ValueLimits::SetpointAmps, QStringLiteral("А"), problem);
    if (!amps)
        return QStringLiteral("ток: ") + problem;
    setpoints = Setpoints{ToCounts(Quantity::SetpointVoltage, *volts),
                          ToCounts(Quantity::SetpointCurrent, *amps)};
    return QString();
}

QString LogFromOptions(const QMap<QString, QString> &options, CliCommand &command)
{
    if (!options.contains(QStringLiteral("period")))
        return QStringLiteral("для log нужен --period СЕКУНДЫ");
    QString problem;
    const std::optional<int> period = ParseWholeNumber(options.value(QStringLiteral("period")), 1,
                                                       LongestLogPeriodSeconds, problem);
    if (!period)
        return QStringLiteral("--period, секунды: ") + problem;
    command.log.logPeriod = QTime(0, 0).addSecs(*period);

    if (options.contains(QStringLiteral("count"))) {
        const std::optional<int> count = ParseWholeNumber(options.value(QStringLiteral("count")), 1,
                                                          std::numeric_limits<int>::max(), problem);
        if (!count)
            return QStringLiteral("--count: %1").arg(problem);
        command.count = *count;
    }

    const QString source = options.value(QStringLiteral("source"), QStringLiteral("display"));
    if (!LogSources.contains(source))
        return QStringLiteral("--source: «%1» — ожидается display или adc").arg(source);
    command.log.logValue = LogSources.value(source);

    if (options.contains(QStringLiteral("time"))) {
        const QString form = options.value(QStringLiteral("time"));
        if (!TimeForms.contains(form))
            return QStringLiteral("--time: «%1» — ожидается hms, ms, s или clock").arg(form);
        command.log.addTime = 1;
        command.log.timeForm = TimeForms.value(form);
    }
    command.log.commeDot = options.contains(QStringLiteral("comma")) ? 1 : 0;
    return QString();
}

// The command's words after its name; an empty string when they fit.
QString CommandFromWords(const QStringList &words, CliCommand &command)
{
    const QString name = words.first();
    const QStringList rest = words.mid(1);
    if (SimpleCommands.contains(name)) {
        command.action = SimpleCommands.value(name);
        return rest.isEmpty() ? QString()
                              : QStringLiteral("лишний аргумент «%1»").arg(rest.first());
    }
    if (name == QLatin1String("set")) {
        command.action = CliAction::Set;
        if (rest.size() != 2)
            return QStringLiteral("set ждёт два числа: ВОЛЬТЫ АМПЕРЫ");
        return SetpointsFromWords(rest, command.setpoints);
    }
    if (name == QLatin1String("calibration") || name == QLatin1String("user")) {
        const bool calibration = name == QLatin1String("calibration");
        const QString verb = rest.value(0);
        if (verb == QLatin1String("get") && rest.size() <= 2) {
            command.action = calibration ? CliAction::CalibrationGet : CliAction::UserGet;
            command.file = rest.value(1);
            return QString();
        }
        if (verb == QLatin1String("set") && rest.size() == 2) {
            command.action = calibration ? CliAction::CalibrationSet : CliAction::UserSet;
            command.file = rest.value(1);
            return QString();
        }
        return QStringLiteral("ожидается %1 get [ФАЙЛ] или %1 set ФАЙЛ").arg(name);
    }
    if (name == QLatin1String("counters")) {
        if (rest.isEmpty()) {
            command.action = CliAction::Counters;
            return QString();
        }
        if (rest.size() == 1 && rest.first() == QLatin1String("reset")) {
            command.action = CliAction::CountersReset;
            return QString();
        }
        return QStringLiteral("ожидается counters или counters reset");
    }
    return QStringLiteral("неизвестная команда «%1»").arg(name);
}

// The panel's server serves the readings, the setpoints, the output and the counters, nothing
// else.
QString ViaFromOptions(const QMap<QString, QString> &options, CliCommand &command)
{
    if (options.contains(QStringLiteral("port")))
        return QStringLiteral("--via и --port вместе не задаются: команда идёт либо через "
                              "панель, либо в порт");
    switch (command.action) {
    case CliAction::CalibrationGet:
    case CliAction::CalibrationSet:
    case CliAction::UserGet:
    case CliAction::UserSet:
        return QStringLiteral("калибровка и пользовательские параметры по сети недоступны: "
                              "SCPI-сервер панели их не читает и не записывает (только --port)");
    default:
        break;
    }
    QString problem;
    command.via = ParseRemoteAddress(options.value(QStringLiteral("via")), problem);
    return command.via ? QString() : QStringLiteral("--via: ") + problem;
}

} // namespace

QString ChoosePort(const QString &portOption, const PortEnvironment &environment)
{
    if (!portOption.isEmpty())
        return portOption;
    if (!environment.port.isEmpty())
        return environment.port;
    return ExtraPortList(environment.extraPorts).value(0);
}

ParsedCommandLine ParseCommandLine(const QStringList &arguments, const PortEnvironment &environment)
{
    ParsedCommandLine parsed;
    CliCommand &command = parsed.command;
    const Words words = SplitWords(arguments);
    command.json = words.options.contains(QStringLiteral("json"));
    command.trace = words.options.contains(QStringLiteral("trace"));
    if (!words.error.isEmpty()) {
        parsed.error = words.error;
        return parsed;
    }

    const bool helpWord = words.positional.value(0) == QLatin1String("help");
    if (words.options.contains(QStringLiteral("help")) || helpWord) {
        command.action = CliAction::Help;
        command.helpTopic = words.positional.value(helpWord ? 1 : 0);
        if (!command.helpTopic.isEmpty() && !IsCommandName(command.helpTopic))
            parsed.error = QStringLiteral("неизвестная команда «%1»").arg(command.helpTopic);
        return parsed;
    }
    if (words.options.contains(QStringLiteral("version"))) {
        command.action = CliAction::Version;
        return parsed;
    }
    if (words.positional.isEmpty()) {
        parsed.error = QStringLiteral("не задана команда");
        return parsed;
    }

    parsed.error = CommandFromWords(words.positional, command);
    if (!parsed.error.isEmpty())
        return parsed;
    if (command.action == CliAction::Log) {
        parsed.error = LogFromOptions(words.options, command);
    } else {
        for (const QString &option : LogOptions) {
            if (words.options.contains(option)) {
                parsed.error = QStringLiteral("параметр --%1 — только для log").arg(option);
                break;
            }
        }
    }
    if (!parsed.error.isEmpty())
        return parsed;

    if (words.options.contains(QStringLiteral("via"))) {
        parsed.error = ViaFromOptions(words.options, command);
        return parsed;
    }
    // Without --via the counters are the panel's file, not the converter's: no port at all.
    if (command.action == CliAction::Counters || command.action == CliAction::CountersReset) {
        if (words.options.contains(QStringLiteral("port")))
            parsed.error = QStringLiteral(
                "counters не обращается к порту: счётчики ведёт панель, vornexctl читает их из "
                "её папки данных (или через панель: --via)");
        return parsed;
    }
    command.port = ChoosePort(words.options.value(QStringLiteral("port")), environment);
    if (command.port.isEmpty())
        parsed.error = QStringLiteral(
            "не задан порт: укажите --port ПОРТ или переменную окружения VORNEX_PORT");
    return parsed;
}
