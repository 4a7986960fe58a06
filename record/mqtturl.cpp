// SPDX-License-Identifier: GPL-3.0-or-later
#include "mqtturl.h"

#include <QRegularExpression>
#include <QStringList>
#include <QUrl>

namespace {

MqttUrl::Problem refuse(QString *detail, const QString &why,
                        MqttUrl::Problem problem = MqttUrl::Problem::Malformed)
{
    if (detail)
        *detail = why;
    return problem;
}

// The levels of a topic prefix: not empty, no "#", "+" only as a whole level, nothing the broker
// keeps for itself ("$SYS").
QString prefixFault(const QString &prefix, bool *wildcard)
{
    if (prefix.isEmpty())
        return QStringLiteral("no PREFIX");
    if (prefix.toUtf8().size() > MqttUrl::kMaxPrefixBytes)
        return QStringLiteral("PREFIX longer than %1 bytes").arg(MqttUrl::kMaxPrefixBytes);
    if (prefix.startsWith(u'$'))
        return QStringLiteral("PREFIX starts with $, which the broker keeps for itself");
    if (prefix.contains(u'#') || prefix.contains(QChar(0)))
        return QStringLiteral("PREFIX holds # or a null character");
    *wildcard = false;
    for (const QString &level : prefix.split(u'/')) {
        if (level.isEmpty())
            return QStringLiteral("PREFIX has an empty level");
        if (level.contains(u'+') && level != QLatin1String("+"))
            return QStringLiteral("+ stands only for a whole level of PREFIX");
        *wildcard = *wildcard || level == QLatin1String("+");
    }
    return {};
}

} // namespace

MqttUrl::Problem MqttUrl::parse(const QString &text, Use use, MqttUrl *url, QString *detail)
{
    // Before anything else, so that no message repeats the URL with its password.
    static const QRegularExpression password(QStringLiteral("^[^/]*//[^/@]*:[^/@]*@"));
    if (password.match(text).hasMatch())
        return refuse(detail, QStringLiteral("a password in the URL"), Problem::Password);
    const QUrl parsed(text, QUrl::StrictMode);
    const QString scheme = parsed.scheme().toLower();
    if (!parsed.isValid() || (scheme != QLatin1String("mqtt") && scheme != QLatin1String("mqtts")))
        return refuse(detail, QStringLiteral("not a URL of the scheme mqtt or mqtts"));
    if (parsed.host().isEmpty())
        return refuse(detail, QStringLiteral("no HOST"));
    if (parsed.port() == 0)
        return refuse(detail, QStringLiteral("port 0"));
    if (parsed.hasQuery() || parsed.hasFragment())
        return refuse(detail, QStringLiteral("a query or fragment after PREFIX"));
    const QString path = parsed.path(QUrl::FullyDecoded);
    bool wildcard = false;
    if (const QString fault = prefixFault(path.mid(1), &wildcard); !fault.isEmpty())
        return refuse(detail, fault);
    if (wildcard && use == Use::Publish)
        return refuse(detail, QStringLiteral("+ in the PREFIX of a stream to publish"),
                      Problem::Wildcard);
    MqttUrl result;
    result.tls = scheme == QLatin1String("mqtts");
    result.host = parsed.host();
    result.port = quint16(parsed.port(result.tls ? kDefaultTlsPort : kDefaultPort));
    result.user = parsed.userName(QUrl::FullyDecoded);
    result.prefix = path.mid(1);
    *url = result;
    return Problem::None;
}

QString MqttUrl::refusal(const QString &option, const QString &text, Problem problem,
                         const QString &detail)
{
    if (problem == Problem::Password)
        return QStringLiteral("%1: the URL holds a password; give it in ESKIN_MQTT_PASSWORD or in "
                              "a file (--mqtt-password-file), never on the command line")
            .arg(option);
    return QStringLiteral("%1: not mqtt[s]://[USER@]HOST[:PORT]/PREFIX (%2): %3")
        .arg(option, detail, text);
}

QString MqttUrl::brokerText() const
{
    const QString shownHost = host.contains(u':') ? u'[' + host + u']' : host;
    return shownHost + u':' + QString::number(port);
}

QString MqttUrl::text() const
{
    QUrl url;
    url.setScheme(tls ? QStringLiteral("mqtts") : QStringLiteral("mqtt"));
    url.setUserName(user);
    url.setHost(host);
    url.setPort(port);
    url.setPath(u'/' + prefix);
    return url.toString();
}

bool MqttUrl::hasWildcard() const
{
    return prefix.split(u'/').contains(QLatin1String("+"));
}

QByteArray MqttUrl::topic(const char *part) const
{
    return prefix.toUtf8() + '/' + part;
}
