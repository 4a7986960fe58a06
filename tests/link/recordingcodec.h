#ifndef RECORDINGCODEC_H
#define RECORDINGCODEC_H

// A codec whose wire is a list of captured writes, with an optional scripted card that
// answers each written frame after a delay, as the card would over a serial line.

#include "slavecodec.h"

#include <QByteArray>
#include <QList>
#include <QTimer>

#include <functional>

// Builds a complete frame (sync, length, command, payload, checksum) from its command and
// payload, independently of the codec under test.
inline QByteArray makeFrame(quint8 cmd, const QByteArray &payload = {})
{
    QByteArray frame;
    frame.append(char(0xA5));
    frame.append(char(payload.size() + 2));
    frame.append(char(cmd));
    frame.append(payload);
    quint8 sum = 0;
    for (char c : frame)
        sum = quint8(sum + quint8(c));
    frame.append(char(sum));
    return frame;
}

inline QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(char(v));
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

#endif // RECORDINGCODEC_H
