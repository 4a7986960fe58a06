// SPDX-License-Identifier: GPL-3.0-or-later
#include "plotreadout.h"

#include "frameaxis.h"

#include <qcustomplot.h>

#include <QPainter>

#include <cmath>

namespace {

constexpr int kPadding = 4;
constexpr int kPointerGap = 14;
constexpr int kColumnGap = 10;
const QColor kLineColour(60, 60, 60);

} // namespace

PlotReadout::PlotReadout(QCustomPlot *plot, const FrameAxis *axis)
    : QWidget(plot)
    , m_plot(plot)
    , m_axis(axis)
{
    setObjectName(QStringLiteral("plotReadout"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    hide();
    plot->setMouseTracking(true);
    plot->installEventFilter(this);
    connect(plot, &QCustomPlot::mouseMove, this, &PlotReadout::follow);
}

QStringList PlotReadout::lines() const
{
    QStringList out;
    for (const Line &line : m_lines)
        out << line.text;
    return out;
}

bool PlotReadout::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Leave)
        stop();
    else if (event->type() == QEvent::Resize)
        setGeometry(m_plot->rect());
    return QWidget::eventFilter(watched, event);
}

void PlotReadout::follow(QMouseEvent *event)
{
    m_pointer = event->position().toPoint();
    if (!m_plot->axisRect()->rect().contains(m_pointer)) {
        stop();
        return;
    }
    if (isHidden()) {
        setGeometry(m_plot->rect());
        show();
        // The data moves under a still pointer.
        m_followingReplots =
            connect(m_plot, &QCustomPlot::afterReplot, this, &PlotReadout::takeValues);
    }
    takeValues();
}

void PlotReadout::stop()
{
    disconnect(m_followingReplots);
    hide();
}

// The frame under the pointer, and each shown curve's point at that frame.
void PlotReadout::takeValues()
{
    const double pointed = m_plot->xAxis->pixelToCoord(m_pointer.x());
    m_key = m_axis->frameAt(pointed);
    m_lines.clear();
    if (std::isnan(m_key)) { // no frame at all
        update();
        return;
    }
    m_coordinate = m_axis->coordinateOf(m_key);
    const qint64 micros = m_axis->microsAt(m_key);
    m_lines.append(
        {QColor(), micros < 0 ? tr("帧 %1").arg(qint64(m_key))
                              : tr("帧 %1，%2 s").arg(qint64(m_key)).arg(micros / 1e6, 0, 'f', 3)});
    if (const FrameAxis::Gap *gap = m_axis->gapAt(pointed))
        m_lines.append({QColor(), FrameAxis::describe(*gap)});
    for (int i = 0; i < m_plot->graphCount(); ++i) {
        const QCPGraph *graph = m_plot->graph(i);
        if (!graph->visible())
            continue;
        const auto point = graph->data()->findBegin(m_coordinate, false);
        const bool held = point != graph->data()->constEnd() && point->key == m_coordinate;
        m_lines.append({graph->pen().color(),
                        graph->name() + QStringLiteral("  ") +
                            (held ? QString::number(point->value) : QStringLiteral("–"))});
    }
    m_widestText = 0;
    const QFontMetrics metrics(font());
    for (const Line &line : m_lines)
        m_widestText = std::max(m_widestText, metrics.horizontalAdvance(line.text));
    update();
}

// Right of the pointer, or left of it near the right edge; the lines fill columns top to bottom.
QRect PlotReadout::labelRect(int lineHeight, int rows, int columnWidth, int columns) const
{
    const QRect area = m_plot->axisRect()->rect();
    const QSize size(columns * columnWidth - kColumnGap + 2 * kPadding,
                     rows * lineHeight + 2 * kPadding);
    int left = m_pointer.x() + kPointerGap;
    if (left + size.width() > area.right())
        left = std::max(area.left(), m_pointer.x() - kPointerGap - size.width());
    const int top =
        std::clamp(m_pointer.y() - size.height() / 2, area.top(), area.bottom() - size.height());
    return QRect(QPoint(left, std::max(area.top(), top)), size);
}

void PlotReadout::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRect area = m_plot->axisRect()->rect();
    if (m_lines.isEmpty())
        return;
    const double x = m_plot->xAxis->coordToPixel(m_coordinate);
    painter.setPen(QPen(kLineColour, 1));
    if (x >= area.left() && x <= area.right())
        painter.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));

    const QFontMetrics metrics(font());
    const int lineHeight = metrics.height();
    const int swatch = metrics.ascent() * 3 / 4;
    const int perColumn = std::max(1, (area.height() - 2 * kPadding) / lineHeight);
    const int rows = std::min(perColumn, int(m_lines.size()));
    const int columns = (int(m_lines.size()) + perColumn - 1) / perColumn;
    const int columnWidth = swatch + kPadding + m_widestText + kColumnGap;
    const QRect box = labelRect(lineHeight, rows, columnWidth, columns);
    painter.setBrush(QColor(255, 255, 255, 230));
    painter.drawRect(box.adjusted(0, 0, -1, -1));
    for (int i = 0; i < m_lines.size(); ++i) {
        const QPoint cell(box.left() + kPadding + (i / perColumn) * columnWidth,
                          box.top() + kPadding + (i % perColumn) * lineHeight);
        const Line &line = m_lines.at(i);
        if (line.colour.isValid())
            painter.fillRect(
                QRect(cell + QPoint(0, (lineHeight - swatch) / 2), QSize(swatch, swatch)),
                line.colour);
        painter.setPen(Qt::black);
        painter.drawText(
            QRect(cell + QPoint(swatch + kPadding, 0), QSize(m_widestText, lineHeight)),
            Qt::AlignLeft | Qt::AlignVCenter, line.text);
    }
}
