#include "sim/requestlogline.h"

#include "sim/commandset.h"
#include "sim/converteremulator.h"

namespace {

QString printable(const QByteArray &bytes)
{
    QString out;
    for (char c : bytes) {
        const auto u = quint8(c);
        out += (u >= 0x20 && u < 0x7F) ? QString(QChar(u))
                                       : QStringLiteral("\\x%1").arg(u, 2, 16, QChar('0'));
    }
    return out;
}

QString meaning(const EmulatorRequest &request)
{
    if (!request.parsed)
        return QStringLiteral("unparsable frame, ignored");
    if (!request.crcValid)
        return QStringLiteral("bad CRC, ignored");
    QString operation;
    if (request.operationCode == ConverterEmulator::ReadOperation)
        operation = QStringLiteral("read");
    else if (request.operationCode == ConverterEmulator::WriteOperation)
        operation = QStringLiteral("write");
    else
        operation = QStringLiteral("operation %1").arg(request.operationCode, 2, 16, QChar('0'));
    QString text = operation + QLatin1Char(' ') +
                   QLatin1String(CommandSet::registerName(request.registerCode));
    if (!request.data.isEmpty())
        text += QLatin1Char(' ') + QString::fromLatin1(request.data.toHex(' ').toUpper());
    if (!request.answered)
        text += QStringLiteral(", no reply");
    return text;
}

} // namespace

QString requestLogLine(const EmulatorRequest &request)
{
    return QStringLiteral("%1 s  %2  %3")
        .arg(double(request.timeMs) / 1000.0, 9, 'f', 3)
        .arg(printable(request.rawFrame), meaning(request));
}
