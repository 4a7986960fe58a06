// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef LEGENDENTRY_H
#define LEGENDENTRY_H

#include <qcustomplot.h>

#include <QStaticText>

class DirectLineGraph;

// A plot legend entry that lays out its text once, not on every replot. The plot library sizes
// and draws each entry by shaping its text anew each time, which for the curve window's 48
// entries is a large part of every refresh, though text, font and icon rarely change. The entry
// looks as the plot library's own: the same measures, the text at the same place, the same icon.
class LegendEntry : public QCPPlottableLegendItem
{
public:
    LegendEntry(QCPLegend *parent, DirectLineGraph *graph);

protected:
    void draw(QCPPainter *painter) override;
    QSize minimumOuterSizeHint() const override;

private:
    // The text's box as the given metrics measure it, and the text laid out, kept while font,
    // resolution, text and icon stay.
    struct TextBox
    {
        QFont font;
        int dpi = 0;
        QString text;
        int iconHeight = -1;
        QRect rect;
        QStaticText laidOut;
    };
    QRect textRect(TextBox &cache, const QFontMetrics &metrics, const QFont &font, int dpi) const;

    DirectLineGraph *m_graph;
    mutable TextBox m_drawnText;
    mutable TextBox m_sizedText;
};

#endif // LEGENDENTRY_H
