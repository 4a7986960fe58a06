// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef MQTTURL_H
#define MQTTURL_H

#include <QByteArray>
#include <QString>

// Where a stream is published on an MQTT broker, or recorded from it:
//   mqtt://[USER@]HOST[:PORT]/PREFIX     1883 by default
//   mqtts://[USER@]HOST[:PORT]/PREFIX    TLS, 8883 by default
// PREFIX is the topic under which the stream's topics (head, frames, events, status) lie. A
// subscriber may put "+" for whole levels of it, to take every stream that matches. A password
// never stands in the URL: a command line is visible to every user of the machine.
struct MqttUrl
{
    static constexpr quint16 kDefaultPort = 1883;
    static constexpr quint16 kDefaultTlsPort = 8883;
    // The topic of a stream's part, and the longest prefix that leaves room for it.
    static constexpr int kMaxPrefixBytes = 1024;
    // The parts of a stream, each a topic under the prefix.
    static constexpr char kHeadPart[] = "head";
    static constexpr char kFramesPart[] = "frames";
    static constexpr char kEventsPart[] = "events";
    static constexpr char kStatusPart[] = "status";

    enum class Use { Publish, Subscribe };
    enum class Problem { None, Malformed, Password, Wildcard };

    bool tls = false;
    QString host;
    quint16 port = kDefaultPort;
    QString user;
    QString prefix;

    // Problem::None with `url` set, or what is wrong, with `detail` saying why in a few words
    // (never repeating a password).
    static Problem parse(const QString &text, Use use, MqttUrl *url, QString *detail = nullptr);
    // What the command line says of a refused URL given with `option`.
    static QString refusal(const QString &option, const QString &text, Problem problem,
                           const QString &detail);

    // "HOST:PORT", "[::1]:PORT".
    QString brokerText() const;
    // The URL as given, normalised, without any password.
    QString text() const;
    bool hasWildcard() const;
    // PREFIX/part as the broker takes it.
    QByteArray topic(const char *part) const;
};

#endif // MQTTURL_H
