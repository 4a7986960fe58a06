// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef CARDMODEL_H
#define CARDMODEL_H

#include "devicerecords.h"
#include "frameschedule.h"
#include "samplerates.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QRandomGenerator>

#include <deque>
#include <memory>
#include <vector>

class QTimer;
class SkinReadings;

constexpr int kCardFrequencyCount = int(kSampleRatesHz.size());
constexpr int kDefaultFrequencyIndex = 3; // 100 Hz
constexpr int kDefaultSinglePointCapacity = 8;
// A 0x8C answer must fit one frame: 2 bytes of axis and sensor, 4 per entry.
constexpr int kMaxSinglePointCapacity = 62;

// One array calibration point as the card stores it: a pressure (hundredths) and one value
// per sensor.
struct CardCalibrationPoint
{
    qint16 pressure;
    QList<qint16> values;
};

// Model of the driver card with no I/O of its own. Bytes the host sends go in through
// receiveFromHost(); every byte the card sends comes out through bytesToHost(): answers at once
// from within receiveFromHost() (later when the line splits writes), samples on the card's own
// timer. Whoever serves the model (a pseudo-terminal, a test) moves the bytes.
//
// Faults can be switched at any time; they model a card that is silent, refuses, has full
// storage, a noisy line, a line that splits writes, a card that stops streaming, or one that
// hangs up.
//
// Choices of this card: the stored baseline starts as the sensors' unloaded offsets (and is
// reset to them by setSeed); a refused request is not carried out; a silent card still carries
// out what it receives, only its replies are lost; the sampling ticks run only between start()
// and stop(), while requests are answered from construction on. Pressing drives Z negative
// (see SkinReadings).
class CardModel : public QObject
{
    Q_OBJECT
public:
    explicit CardModel(QObject *parent = nullptr);
    ~CardModel() override;

    // Configuration.
    void setSensorCount(int count); // clamped to 1..16
    int sensorCount() const;
    void setSeed(quint32 seed);        // readings, noise and corruption become reproducible
    void setFrequencyIndex(int index); // 0..4; another index is ignored
    int frequencyIndex() const;
    void setSinglePointCapacity(int entries); // per sensor and axis, clamped to 0..62
    int singlePointCapacity() const;

    // Faults.
    void setSilent(bool silent);                // no reply of any kind to any request
    void setRefusing(bool refusing);            // every status reply is 1
    void setStorageFull(bool full);             // a single-point write is answered 2
    void setCorruption(double fraction);        // share of sent bytes with one bit flipped, 0..1
    void setSplit(int chunkBytes, int delayMs); // writes cut into chunks, delayMs apart; 0 = off
    void setStreaming(bool streaming);          // the 0x00 sensor-data stream
    bool isStreaming() const;
    void hangUp(); // emits hangUpRequested()

    // Stored state, for tests and for seeding a demonstration.
    QList<AxitSingle_t> baseline() const; // all 16 entries, whatever the sensor count
    void storeCalibrationPoint(int xyz, qint16 pressure, const QList<qint16> &values);
    QList<CardCalibrationPoint> calibrationPoints(int xyz) const;
    QList<singleDemarcateInfoUnit_t> singlePoints(int xyz, int sensorId) const;
    bool isSampling() const; // between 0x82 01 and 0x82 00

    // Readings from elsewhere (a recording) instead of the card's own skin: with own sampling
    // off the sampling ticks stop, and each sampleReadings() call is one sample, sent as a tick
    // would send it (sensor data while streaming, an accumulation sample while sampling).
    void setOwnSampling(bool own);
    void sampleReadings(const QList<Axit_t> &readings);

    // A card that has a host only while the host has the port open (a replay): whoever serves
    // the model watches the port and tells it through setHostOpen(). Off by default: the card
    // is there for whoever opens the port, as a real card is.
    void setWaitsForHost(bool waits);
    bool waitsForHost() const;
    // A card whose rate is fixed (a replay plays at its recording's rate) refuses a request for
    // another frequency with status 1; the same frequency is answered done.
    void setFixedFrequency(bool fixed);

    // Counters of what went out, for tests: 0x00 and 0x01 frames sent, and those of them that
    // left without a corrupted byte.
    quint64 sensorFramesSent() const;
    quint64 intactSensorFramesSent() const;

public slots:
    void start(); // starts streaming at the selected frequency
    void stop();  // stops every timer; nothing more is sent until start()
    void receiveFromHost(const QByteArray &bytes);
    // A host has opened the port, or has closed it (when the card waits for a host).
    void setHostOpen(bool open);

signals:
    void bytesToHost(const QByteArray &bytes);
    void hostOpenChanged(bool open);
    void hangUpRequested();
    // Every checked frame the card received from the host: command and payload.
    void requestReceived(quint8 cmd, const QByteArray &payload);

private:
    using SinglePointList = QList<singleDemarcateInfoUnit_t>;

    // Receiving.
    void extractRequests();
    bool holdsCheckedFrameAfter(qsizetype start) const;
    void handleRequest(quint8 cmd, const QByteArray &payload);
    int writeBaseline(const QByteArray &payload);
    void answerBaseline();
    void handleSampling(const QByteArray &payload);
    int setFrequencyFromHost(const QByteArray &payload);
    int removePoints(const QByteArray &payload);
    void answerPoints(const QByteArray &payload);
    int writeSinglePoint(const QByteArray &payload);
    int removeSinglePoints(const QByteArray &payload);
    int clearSinglePoints(const QByteArray &payload);
    void answerSinglePoints(const QByteArray &payload);
    SinglePointList *singleList(const QByteArray &payload);

    // Sampling.
    void restartSchedule();
    void onTick();
    void sampleOnce();

    // Sending: every byte the card sends goes through transmit().
    void sendReply(quint8 cmd, const QByteArray &payload);
    void sendStatus(quint8 cmd, int status);
    void sendSample(quint8 cmd, const QByteArray &payload);
    bool transmit(QByteArray bytes);
    int corrupt(QByteArray &bytes);
    void releaseChunks();

    void resetBaseline();
    void storeDemonstrationPoints();

    std::unique_ptr<SkinReadings> m_readings;
    QRandomGenerator m_rng; // line faults only, so that readings do not depend on them
    QTimer *m_tickTimer = nullptr;
    QTimer *m_chunkTimer = nullptr;
    QElapsedTimer m_clock;
    FrameSchedule m_schedule;

    QByteArray m_rx;
    int m_sensorCount = kMaxSensors;
    int m_frequencyIndex = kDefaultFrequencyIndex;
    int m_singlePointCapacity = kDefaultSinglePointCapacity;
    bool m_running = false; // sampling ticks run
    bool m_stopped = false; // stop() silences the card until start()
    bool m_sampling = false;
    bool m_streaming = true;
    bool m_ownSampling = true;
    bool m_waitsForHost = false;
    bool m_hostOpen = false;
    bool m_fixedFrequency = false;

    bool m_silent = false;
    bool m_refusing = false;
    bool m_storageFull = false;
    double m_corruption = 0.0;
    int m_chunkBytes = 0;
    int m_chunkDelayMs = 0;
    std::deque<QByteArray> m_chunks;
    bool m_releasing = false;

    AxitSingle_t m_baseline[kMaxSensors] = {};
    std::vector<CardCalibrationPoint> m_points[kAxisCount];
    SinglePointList m_singlePoints[kAxisCount][kMaxSensors];
    quint64 m_sensorFramesSent = 0;
    quint64 m_intactSensorFramesSent = 0;
};

#endif // CARDMODEL_H
