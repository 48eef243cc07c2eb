#include "cli/remoteaddress.h"

#include "cli/valuetext.h"

#include <QHostAddress>
#include <QRegularExpression>

namespace {

bool IsIpv6(const QString &host)
{
    const QHostAddress address(host);
    return address.protocol() == QAbstractSocket::IPv6Protocol;
}

} // namespace

std::optional<RemoteAddress> ParseRemoteAddress(const QString &text, QString &problem)
{
    RemoteAddress address;
    QString portText;
    bool portGiven = false;
    if (text.startsWith(QLatin1Char('['))) {
        const int close = text.indexOf(QLatin1Char(']'));
        address.host = text.mid(1, close - 1);
        const QString rest = close < 0 ? QString() : text.mid(close + 1);
        if (close < 0 || !IsIpv6(address.host) ||
            (!rest.isEmpty() && !rest.startsWith(QLatin1Char(':')))) {
            problem = QStringLiteral("«%1»: в квадратных скобках — адрес IPv6, например [::1]:5025")
                          .arg(text);
            return std::nullopt;
        }
        portGiven = !rest.isEmpty();
        portText = rest.mid(1);
    } else if (text.count(QLatin1Char(':')) > 1) {
        if (!IsIpv6(text)) {
            problem = QStringLiteral("«%1» — не адрес; адрес IPv6 с портом пишется так: [::1]:5025")
                          .arg(text);
            return std::nullopt;
        }
        address.host = text;
    } else {
        const int colon = text.indexOf(QLatin1Char(':'));
        address.host = text.left(colon);
        portGiven = colon >= 0;
        portText = text.mid(colon + 1);
    }
    if (address.host.isEmpty() ||
        address.host.contains(QRegularExpression(QStringLiteral("[\\s/\\[\\]]")))) {
        problem = QStringLiteral("«%1»: ожидается УЗЕЛ[:ПОРТ], например 127.0.0.1:5025").arg(text);
        return std::nullopt;
    }
    if (portGiven) {
        const std::optional<int> port = ParseWholeNumber(portText, 1, 65535, problem);
        if (!port) {
            problem = QStringLiteral("порт: ") + problem;
            return std::nullopt;
        }
        address.port = quint16(*port);
    }
    return address;
}

QString RemoteAddressText(const RemoteAddress &address)
{
    const QString host = address.host.contains(QLatin1Char(':'))
                             ? QStringLiteral("[%1]").arg(address.host)
                             : address.host;
    return host + QLatin1Char(':') + QString::number(address.port);
}
