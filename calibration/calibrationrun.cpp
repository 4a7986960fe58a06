// SPDX-License-Identifier: GPL-3.0-or-later
#include "calibrationrun.h"

#include "cardmessagebox.h"
#include "myserialport.h"
#include "workercall.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QProgressDialog>
#include <QTimer>
#include <QWidget>

#include <algorithm>

namespace {

// The run polls the card every 10 ms and gives up after 10 s.
constexpr int kPollMs = 10;
constexpr int kRunTimeoutMs = 10000;
constexpr int kProgressWidth = 300;

// The run's texts belong to the calibration dialog: translated in its context, and written
// out where they are used so that the translation tools find them.
QString dialogText(const char *source)
{
    return QCoreApplication::translate("Demarcate", source);
}

void pause(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

CalibrationRun::CalibrationRun(QWidget *dialog)
    : QObject(dialog)
    , m_dialog(dialog)
    , m_timer(new QTimer(this))
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

bool CalibrationRun::run(const char *title, const char *failure, Sums &sums)
{
    if (m_running)
        return false;
    m_running = true;
    m_title = title;
    const End end = sampleWithProgress();
    if (end == End::Abandoned)
        return false;
    m_running = false;
    m_timer->stop();
    delete m_progress;
    if (end == End::Failed) {
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

CalibrationRun::End CalibrationRun::sampleWithProgress()
{
    m_progressValue = 0;
    m_timer->start(kRunTimeoutMs);
    // Waiting for the worker to take the start means the first poll sees this run's count and
    // zeroed sums, never the end of the previous run.
    const bool started = callCard([](MySerialport &card) { card.demarcateStart(kSamples); });
    openProgress(started);

    if (!pollAfterPause())
        return End::Abandoned;
    while (m_progressValue < int(kSamples)) {
        if (m_progress->wasCanceled())
            break;
        if (!portOpen()) {
            callCard([](MySerialport &card) { card.demarcateStop(); });
            m_progress->cancel();
            return End::Failed;
        }
        if (!pollAfterPause())
            return End::Abandoned;
    }
    // Sums that the worker has not finished are no result.
    const bool stopped = callCard([](MySerialport &card) { card.demarcateStop(); });
    return stopped && !m_progress->wasCanceled() ? End::Sampled : End::Failed;
}

void CalibrationRun::openProgress(bool started)
{
    m_progress = new QProgressDialog(m_dialog);
    m_progress->setRange(0, int(kSamples));
    retranslate();
    m_progress->setWindowModality(Qt::WindowModal);
    m_progress->setFixedWidth(kProgressWidth);
    m_progress->setValue(0);
    m_progress->show();
    if (!started)
        m_progress->cancel();
}

// Set again when the language changes in the middle of a run.
void CalibrationRun::retranslate()
{
    if (!m_progress)
        return;
    m_progress->setWindowTitle(dialogText(m_title));
    m_progress->setLabelText(QCoreApplication::translate("Demarcate", "正在获取校准数据..."));
    m_progress->setCancelButtonText(QCoreApplication::translate("Demarcate", "取消"));
}

// Waits one polling interval with events flowing, then shows the card's progress. False when
// the dialog or the driver-card object was deleted meanwhile, as the program closes.
bool CalibrationRun::pollAfterPause()
{
    const QPointer<CalibrationRun> alive(this);
    const bool hadCard = !m_card.isNull();
    pause(kPollMs);
    if (!alive)
        return false;
    const uint remaining = m_card ? m_card->demarcateRemaining() : kSamples;
    m_progressValue = remaining >= kSamples ? 0 : int(kSamples - remaining);
    // A cancelled progress dialog would show itself again on a new value.
    if (!m_progress->wasCanceled())
        m_progress->setValue(m_progressValue);
    // The driver-card object goes only as the program shuts down: the run ends unreported.
    return !(hadCard && m_card.isNull());
}

bool CalibrationRun::portOpen() const
{
    return m_card && m_card->isPortOpen();
}

void CalibrationRun::cancel()
{
    if (m_progress)
        m_progress->cancel();
}

// Runs a request in the worker and returns once the worker has carried it out; false when it
// did not take it in time or is gone.
bool CalibrationRun::callCard(const std::function<void(MySerialport &)> &call)
{
    MySerialport *card = m_card;
    return card && callInWorker(card, [card, call] { call(*card); });
}
