// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef RECORDINGCODEC_H
#define RECORDINGCODEC_H

// A codec whose wire is a list of captured writes, with an optional scripted card that
// answers each written frame after a delay, as the card would over a serial line; and the
// frame builders and printers that the link's tests share. The builders are written
// independently of the codec under test.

#include "cardframe.h"
#include "slavecodec.h"

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <QTimer>
#include <QVariant>

#include <functional>

// x, y, z of each sensor in order, so that readings compare and print as plain integers.
using Readings = QList<int>;

inline QByteArray triple(int x, int y, int z)
{
    return word(x) + word(y) + word(z);
}

inline QByteArray sensorFrame(const Readings &readings)
{
    QByteArray payload;
    for (int value : readings)
        payload += word(value);
    return makeFrame(CmdSensorData, payload);
}

inline QByteArray accumulationFrame(const QList<Axit_t> &sensors)
{
    QByteArray payload;
    for (const Axit_t &a : sensors)
        payload += triple(a.x, a.y, a.z);
    return makeFrame(CmdAccumulation, payload);
}

inline quint8 commandOf(const QByteArray &frame)
{
    return quint8(frame.at(2));
}

inline bool expectsStatus(quint8 cmd)
{
    return cmd == 0x80 || cmd == 0x83 || (cmd >= 0x86 && cmd <= 0x8B && cmd != 0x88);
}

inline QString describe(const QList<Axit_t> &readings)
{
    QStringList parts;
    for (const Axit_t &a : readings)
        parts << QStringLiteral("(%1,%2,%3)").arg(a.x).arg(a.y).arg(a.z);
    return parts.join(' ');
}

// All 16 records of the check-data table.
inline QString describe(const AxitSum_t *sums)
{
    QStringList parts;
    for (int i = 0; i < kMaxSensors; ++i)
        parts << QStringLiteral("(%1,%2,%3)").arg(sums[i].x).arg(sums[i].y).arg(sums[i].z);
    return parts.join(' ');
}

// The expected check-data table: the given records first, the rest zero.
inline QString describeSums(const QList<AxitSum_t> &leading)
{
    AxitSum_t table[kMaxSensors] = {};
    for (int i = 0; i < leading.size(); ++i)
        table[i] = leading.at(i);
    return describe(table);
}

inline QList<int> intArgs(const QList<QVariant> &args)
{
    QList<int> out;
    for (const QVariant &v : args)
        out << v.toInt();
    return out;
}

class RecordingCodec : public SlaveCodec
{
public:
    // Given the frame just written, returns what the card sends back (empty: nothing).
    using Responder = std::function<QByteArray(const QByteArray &written)>;

    QList<QByteArray> written;
    Responder responder;
    int replyDelayMs = 20;

    qint64 writeRaw(const char *data, qint64 len) override
    {
        return writeRaw(QByteArray(data, int(len)));
    }

    qint64 writeRaw(const QByteArray &frame) override
    {
        written.append(frame);
        if (responder) {
            const QByteArray reply = responder(frame);
            if (!reply.isEmpty())
                QTimer::singleShot(replyDelayMs, this, [this, reply] { feed(reply); });
        }
        return frame.size();
    }

    void feed(const QByteArray &chunk) { receiveBytes(chunk.constData(), quint16(chunk.size())); }
};

// A card that answers every status request with `status` under the request's own command, and
// the frequency read with `index`.
inline RecordingCodec::Responder statusCard(const QByteArray &status, const QByteArray &index = {})
{
    return [status, index](const QByteArray &written) {
        const quint8 cmd = commandOf(written);
        if (expectsStatus(cmd))
            return makeFrame(cmd, status);
        if (cmd == CmdReadFrequency)
            return makeFrame(cmd, index);
        return QByteArray();
    };
}

// A reply time-out for the cases that wait one out: what ends in silence does not depend on its
// length, and the card's real time-out is waited out once, by the driver-card object's test.
constexpr int kShortReplyTimeoutMs = 200;

// A request to run against the card, as a data-driven test column.
using Request = std::function<void(RecordingCodec &)>;
Q_DECLARE_METATYPE(Request)

#endif // RECORDINGCODEC_H
