// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef PLOTMARKERS_H
#define PLOTMARKERS_H

#include <QCoreApplication>
#include <QList>
#include <QMetaObject>
#include <QString>

#include <limits>

class FrameAxis;
class QCPItemStraightLine;
class QCPItemText;
class QCustomPlot;

// A numbered, labelled moment of the stream: the frame whose key (sample counter) it marks.
struct PlotMarker
{
    int number = 0;
    QString label;
    double key = 0;
};

// The markers drawn on the plot: each a vertical line at its frame with its number and label at
// the top, moving with the x axis. A label stands right of its line, or left of it where it would
// run past the plot's right edge. Lines and labels are items of the plot, drawn with it; without
// markers the plot holds none.
class PlotMarkers
{
    Q_DECLARE_TR_FUNCTIONS(PlotMarkers)
public:
    // Frames stand where `axis` puts them.
    PlotMarkers(QCustomPlot *plot, const FrameAxis *axis);
    ~PlotMarkers();
    PlotMarkers(const PlotMarkers &) = delete;
    PlotMarkers &operator=(const PlotMarkers &) = delete;

    // "标记 N", the label of a marker that was given none.
    static QString defaultLabel(int number);
    // What the plot shows of `marker`: its label after its number, or, for the default label in
    // any language, "标记 N" in the current one.
    static QString shownText(const PlotMarker &marker);

    void add(const PlotMarker &marker);
    // Removes the markers of frames before `key`: their points have left the plot.
    void dropBefore(double key);
    void clear() { dropBefore(std::numeric_limits<double>::infinity()); }
    // Hides or shows every marker's line and label (the live markers while a recording is
    // reviewed).
    void setVisible(bool visible);
    // Puts every marker where the axis now has its frame.
    void relocate();
    // Labels in the current language.
    void retranslate();
    bool isEmpty() const { return m_drawn.isEmpty(); }
    // In the order of their keys.
    QList<PlotMarker> markers() const;

private:
    struct Drawn
    {
        PlotMarker marker;
        QCPItemStraightLine *line;
        QCPItemText *text;
    };

    void place(const Drawn &drawn) const;
    void keepLabelsInside() const;

    QCustomPlot *m_plot;
    const FrameAxis *m_axis;
    QList<Drawn> m_drawn;
    QMetaObject::Connection m_beforeReplot;
};

#endif // PLOTMARKERS_H
