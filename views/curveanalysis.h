// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef CURVEANALYSIS_H
#define CURVEANALYSIS_H

#include "contactoverlay.h"
#include "devicerecords.h"
#include "frameanalysis.h"

#include <QColor>
#include <QCoreApplication>
#include <QList>
#include <QString>

#include <array>

class CurveBuffer;
class FrameAxis;
class PlaneGraph;
class QBoxLayout;
class QCPAxis;
class QCPGraph;
class QCustomPlot;
class QLabel;
class QListWidget;
class QListWidgetItem;

// The curve window's analysis of what the skin feels (FrameAnalysis), while it is on: the plane
// graph's overlay (cells in contact, centre of pressure and its path), a row "合力" at the end of
// the sensor list whose tick shows four curves (the total force's X, Y, Z and magnitude of every
// frame the plot holds), and a line under the plot with the contacts, total force, centre and
// peak of the frame the views show. Off, none of it exists: the window is as without it.
//
// The analysis covers the sensors the window shows. The sensor rows and graphs come first; the
// row and the graphs of the total stand after them, taken away (detach()) while their count
// changes and put back after (attach()).
class CurveAnalysis
{
    Q_DECLARE_TR_FUNCTIONS(CurveAnalysis)
public:
    static constexpr int kTotalCurves = 4; // X, Y, Z, magnitude

    CurveAnalysis(QCustomPlot *plot, QListWidget *list, PlaneGraph *plane, QLabel *line);
    ~CurveAnalysis();
    CurveAnalysis(const CurveAnalysis &) = delete;
    CurveAnalysis &operator=(const CurveAnalysis &) = delete;

    // A line under `plot` in `box` (the plot's layout), hidden; for the constructor.
    static QLabel *addLineUnder(QWidget *plot, QBoxLayout *box);
    static QColor totalColor(int curve);

    void setEnabled(bool on);
    bool isEnabled() const { return m_enabled; }
    // Taken into FrameAnalysis's range; the shown frame is analysed anew.
    void setThreshold(int threshold);
    int threshold() const { return m_frame.threshold(); }

    // The frame the views show (its first `sensors` readings), sent at `timeUs` (-1: not known).
    void showFrame(const QList<Axit_t> &readings, uint sensors, qint64 timeUs);
    const FrameAnalysis &shownFrame() const { return m_frame; }
    const ContactOverlay &overlay() const { return m_overlay; }
    QString lineText() const;

    void detach();
    void attach();
    // A click on the "合力" row; false for another row.
    bool applyRowClick(QListWidgetItem *item);
    bool isTotalShown() const { return m_totalShown; }
    // The line takes the shown frame, and the total's graphs, while shown, the totals of the
    // buffer's frames (sensors below `sensors`) with keys up to `upTo`, where `axis` puts them:
    // the plot's refresh, so that neither changes more often than the plot.
    void update(const CurveBuffer &buffer, uint sensors, const FrameAxis &axis, double upTo);
    // The value axis takes in the total's shown curves too.
    void widenValueRange(QCPAxis *valueAxis) const;
    void retranslate();

private:
    void showLine();
    QString curveName(int curve) const;

    QCustomPlot *m_plot;
    QListWidget *m_list;
    PlaneGraph *m_plane;
    QLabel *m_line;
    FrameAnalysis m_frame;
    ContactOverlay m_overlay;
    QList<Axit_t> m_readings;
    uint m_sensors = 0;
    bool m_hasFrame = false;
    bool m_enabled = false;
    bool m_totalShown = false;
    // The row while the analysis is on; the list owns it while attached.
    QListWidgetItem *m_row = nullptr;
    bool m_attached = false;
    std::array<QCPGraph *, kTotalCurves> m_graphs{};
};

#endif // CURVEANALYSIS_H
