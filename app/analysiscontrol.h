// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef ANALYSISCONTROL_H
#define ANALYSISCONTROL_H

#include <QObject>
#include <QPointer>

class CurveGraphic;
class QAction;
class QMenu;

// The menu's "分析" (on or off) and "分析阈值…" (the contact threshold), both remembered between
// runs, applied to the curve window. The analysis is off until the operator turns it on.
class AnalysisControl : public QObject
{
    Q_OBJECT
public:
    AnalysisControl(QMenu *menu, CurveGraphic *curves, QObject *parent = nullptr);

    QAction *analysisAction() const { return m_analysis; }
    int threshold() const { return m_threshold; }
    // False, with nothing changed, for a threshold out of range.
    bool setThreshold(int threshold);
    // Asks the operator for the threshold.
    void askThreshold();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void retranslate();
    void setEnabled(bool on);

    QMenu *m_menu;
    // The main window deletes the curve window as it closes.
    QPointer<CurveGraphic> m_curves;
    QAction *m_analysis;
    QAction *m_thresholdAction;
    int m_threshold;
};

#endif // ANALYSISCONTROL_H
