// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef GRAPHCOLUMNLAYOUT_H
#define GRAPHCOLUMNLAYOUT_H

#include <QLayout>

#include <array>

// The curve window's graph column, top to bottom: the two views, the tool bar, the plot and, in
// review, the timeline. The views and the plot share the height that the tool bar leaves, two
// fifths and three; the timeline, one row high, takes its room from the views, so that the plot
// keeps its height in review.
class GraphColumnLayout : public QLayout
{
public:
    enum Part { Views, ToolBar, Plot, Timeline };

    explicit GraphColumnLayout(QWidget *parent);
    ~GraphColumnLayout() override;

    void setPart(Part part, QWidget *widget);

    void addItem(QLayoutItem *item) override;
    QLayoutItem *itemAt(int index) const override;
    QLayoutItem *takeAt(int index) override;
    int count() const override;
    QSize sizeHint() const override;
    QSize minimumSize() const override;
    void setGeometry(const QRect &rect) override;
    Qt::Orientations expandingDirections() const override { return Qt::Horizontal | Qt::Vertical; }

private:
    // The items in the order of Part; null where no widget is set.
    std::array<QLayoutItem *, 4> m_parts{};
    bool shown(Part part) const;
    QSize sum(QSize (QLayoutItem::*size)() const) const;
};

#endif // GRAPHCOLUMNLAYOUT_H
