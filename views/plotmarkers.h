// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef PLOTMARKERS_H
#define PLOTMARKERS_H

#include <QList>
#include <QString>

#include <limits>

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

// The markers drawn on the plot: each a vertical line at its frame's key with its number and
// label at the top, moving with the x axis. Lines and labels are items of the plot, drawn with
// it; without markers the plot holds none.
class PlotMarkers
{
public:
    explicit PlotMarkers(QCustomPlot *plot);

    // Draws `marker` with `text` beside its line.
    void add(const PlotMarker &marker, const QString &text);
    // Removes the markers of frames before `key`: their points have left the plot.
    void dropBefore(double key);
    void clear() { dropBefore(std::numeric_limits<double>::infinity()); }
    // Hides or shows every marker's line and label (the live markers while a recording is
    // reviewed).
    void setVisible(bool visible);
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

    QCustomPlot *m_plot;
    QList<Drawn> m_drawn;
};

#endif // PLOTMARKERS_H
