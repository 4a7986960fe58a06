// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysiscontrol.h"

#include "curvegraphic.h"
#include "frameanalysis.h"

#include <QAction>
#include <QEvent>
#include <QInputDialog>
#include <QMenu>
#include <QSettings>

namespace {

const QString kEnabledKey = QStringLiteral("analysis/enabled");
const QString kThresholdKey = QStringLiteral("analysis/threshold");

bool inRange(int threshold)
{
    return threshold >= FrameAnalysis::kMinThreshold && threshold <= FrameAnalysis::kMaxThreshold;
}

// A setting that is not a threshold (edited by hand, or of another version) gives the default.
int rememberedThreshold()
{
    bool ok = false;
    const int stored =
        QSettings().value(kThresholdKey, FrameAnalysis::kDefaultThreshold).toInt(&ok);
    return ok && inRange(stored) ? stored : FrameAnalysis::kDefaultThreshold;
}

} // namespace

AnalysisControl::AnalysisControl(QMenu *menu, CurveGraphic *curves, QObject *parent)
    : QObject(parent)
    , m_menu(menu)
    , m_curves(curves)
    , m_analysis(menu->addAction(QString()))
    , m_thresholdAction(menu->addAction(QString()))
    , m_threshold(rememberedThreshold())
{
    m_analysis->setObjectName(QStringLiteral("actionAnalysis"));
    m_analysis->setCheckable(true);
    m_thresholdAction->setObjectName(QStringLiteral("actionAnalysisThreshold"));
    retranslate();
    m_curves->setAnalysisThreshold(m_threshold);
    const bool on = QSettings().value(kEnabledKey, false).toBool();
    m_analysis->setChecked(on);
    m_curves->setAnalysisEnabled(on);
    connect(m_analysis, &QAction::toggled, this, &AnalysisControl::setEnabled);
    connect(m_thresholdAction, &QAction::triggered, this, &AnalysisControl::askThreshold);
    menu->installEventFilter(this);
}

void AnalysisControl::setEnabled(bool on)
{
    QSettings().setValue(kEnabledKey, on);
    if (m_curves)
        m_curves->setAnalysisEnabled(on);
}

bool AnalysisControl::setThreshold(int threshold)
{
    if (!inRange(threshold))
        return false;
    m_threshold = threshold;
    QSettings().setValue(kThresholdKey, threshold);
    if (m_curves)
        m_curves->setAnalysisThreshold(threshold);
    return true;
}

// The dialog takes only whole numbers in the range.
void AnalysisControl::askThreshold()
{
    bool ok = false;
    const int chosen = QInputDialog::getInt(m_menu->parentWidget(), tr("分析阈值"),
                                            tr("传感器的力大小达到此值即为接触（%1 至 %2）：")
                                                .arg(FrameAnalysis::kMinThreshold)
                                                .arg(FrameAnalysis::kMaxThreshold),
                                            m_threshold, FrameAnalysis::kMinThreshold,
                                            FrameAnalysis::kMaxThreshold, 1, &ok);
    if (ok)
        setThreshold(chosen);
}

bool AnalysisControl::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_menu && event->type() == QEvent::LanguageChange)
        retranslate();
    return QObject::eventFilter(watched, event);
}

void AnalysisControl::retranslate()
{
    m_analysis->setText(tr("分析"));
    m_thresholdAction->setText(tr("分析阈值…"));
}
