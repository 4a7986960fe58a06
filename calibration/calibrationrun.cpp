// SPDX-License-Identifier: GPL-3.0-or-later
#include "calibrationrun.h"

#include "cardmessagebox.h"
#include "myserialport.h"
#include "progresswait.h"
#include "workercall.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>

#include <algorithm>

namespace {

// The run polls the card every 10 ms and gives up after 10 s.
constexpr int kPollMs = 10;
constexpr int kRunTimeoutMs = 10000;

// The run's texts belong to the calibration dialog: translated in its context, and written
// out where they are used so that the translation tools find them.
QString dialogText(const char *source)
{
    return QCoreApplication::translate("Demarcate", source);
}

} // namespace

CalibrationRun::CalibrationRun(QWidget *dialog)
    : QObject(dialog)
    , m_dialog(dialog)
    , m_timer(new QTimer(this))
    , m_wait(new ProgressWait(dialog, int(kSamples), kPollMs))
{
    // A coarse timer may end a run up to half a second before its 10 s are up.
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, &CalibrationRun::timedOut);
}

CalibrationRun::~CalibrationRun() = default;

void CalibrationRun::setCard(MySerialport *card)
{
    m_card = card;
}

int CalibrationRun::average(const AxitSum_t &sum, int axis)
{
    const qint32 total = axis == 0 ? sum.x : axis == 1 ? sum.y : sum.z;
    return total / int(kSamples);
}

bool CalibrationRun::isRunning() const
{
    return m_wait->isRunning();
}

bool CalibrationRun::run(const char *title, const char *failure, Sums &sums)
{
    if (isRunning())
        return false;
    m_title = title;
    retranslate();
    const bool hadCard = !m_card.isNull();
    ProgressWait::Steps steps;
    // Waiting for the worker to take the start means the first poll sees this run's count and
    // zeroed sums, never the end of the previous run.
    steps.start = [this] {
        return callCard([](MySerialport &card) { card.demarcateStart(kSamples); });
    };
    steps.progress = [this] {
        const uint remaining = m_card ? m_card->demarcateRemaining() : kSamples;
        return remaining >= kSamples ? 0 : int(kSamples - remaining);
    };
    steps.portOpen = [this] {
        return m_card && m_card->isPortOpen();
    };
    steps.stop = [this] {
        return callCard([](MySerialport &card) { card.demarcateStop(); });
    };
    // The driver-card object goes only as the program shuts down: the run ends unreported.
    steps.gone = [this, hadCard] {
        return hadCard && m_card.isNull();
    };

    const QPointer<CalibrationRun> alive(this);
    m_timer->start(kRunTimeoutMs);
    const ProgressWait::End end = m_wait->run(steps);
    if (end == ProgressWait::End::Abandoned || !alive)
        return false;
    m_timer->stop();
    if (end == ProgressWait::End::Failed) {
        // The port may have gone with a box about it already open: one box at a time.
        CardMessageBox::show(QMessageBox::Warning, m_dialog,
                             QCoreApplication::translate("Demarcate", "提示"), dialogText(failure));
        return false;
    }
    if (!m_card || m_card->sensorCount() <= 0)
        return false;
    std::copy_n(m_card->demarcateSums(), kMaxSensors, sums.begin());
    return true;
}

// Set again when the language changes in the middle of a run.
void CalibrationRun::retranslate()
{
    m_wait->setTexts(dialogText(m_title),
                     QCoreApplication::translate("Demarcate", "正在获取校准数据..."),
                     QCoreApplication::translate("Demarcate", "取消"));
}

void CalibrationRun::cancel()
{
    m_wait->cancel();
}

// Runs a request in the worker and returns once the worker has carried it out; false when it
// did not take it in time or is gone.
bool CalibrationRun::callCard(const std::function<void(MySerialport &)> &call)
{
    MySerialport *card = m_card;
    return card && callInWorker(card, [card, call] { call(*card); });
}
