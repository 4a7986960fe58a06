// SPDX-License-Identifier: GPL-3.0-or-later
#include "curveanalysis.h"

#include "curvebuffer.h"
#include "frameaxis.h"
#include "planegraph.h"

#include <qcustomplot.h>

#include <QBoxLayout>
#include <QLabel>
#include <QListWidget>

#include <cmath>

namespace {

constexpr int kPenWidth = 3;
constexpr int kTotalRgb[CurveAnalysis::kTotalCurves][3] = {
    {178, 34, 34}, {34, 139, 34}, {25, 25, 170}, {0, 0, 0}};

} // namespace

CurveAnalysis::CurveAnalysis(QCustomPlot *plot, QListWidget *list, PlaneGraph *plane, QLabel *line)
    : m_plot(plot)
    , m_list(list)
    , m_plane(plane)
    , m_line(line)
{}

// The list and the plot, which own the row and the graphs while attached, outlive this.
CurveAnalysis::~CurveAnalysis()
{
    if (m_plane)
        m_plane->setOverlay(nullptr);
    if (!m_attached)
        delete m_row;
}

QLabel *CurveAnalysis::addLineUnder(QWidget *plot, QBoxLayout *box)
{
    auto *line = new QLabel(plot->parentWidget());
    line->setObjectName(QStringLiteral("analysisLine"));
    line->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // Wrapped rather than widening the window.
    line->setWordWrap(true);
    line->hide();
    // A hidden line takes no room: the plot keeps its place and size.
    const int at = box->indexOf(plot);
    box->removeWidget(plot);
    auto *column = new QVBoxLayout;
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    column->addWidget(plot, 1);
    column->addWidget(line);
    box->insertLayout(at, column);
    return line;
}

QColor CurveAnalysis::totalColor(int curve)
{
    const int *rgb = kTotalRgb[curve];
    return QColor(rgb[0], rgb[1], rgb[2]);
}

QString CurveAnalysis::curveName(int curve) const
{
    return curve < kAxisCount ? tr("合力") + QLatin1String(kAxisNames[curve]) : tr("合力大小");
}

void CurveAnalysis::setEnabled(bool on)
{
    if (on == m_enabled)
        return;
    m_enabled = on;
    if (on) {
        m_row = new QListWidgetItem(tr("合力"));
        m_row->setCheckState(m_totalShown ? Qt::Checked : Qt::Unchecked);
        attach();
        m_overlay.clear();
        if (m_hasFrame)
            showFrame(m_readings, m_sensors, -1);
        m_line->setText(lineText());
        m_plane->setOverlay(&m_overlay);
        m_line->show();
        return;
    }
    detach();
    delete std::exchange(m_row, nullptr);
    m_plane->setOverlay(nullptr);
    m_line->hide();
    m_line->clear();
}

void CurveAnalysis::setThreshold(int threshold)
{
    m_frame.setThreshold(threshold);
    if (!m_enabled || !m_hasFrame)
        return;
    showFrame(m_readings, m_sensors, -1);
    m_line->setText(lineText());
}

void CurveAnalysis::showFrame(const QList<Axit_t> &readings, uint sensors, qint64 timeUs)
{
    m_readings = readings;
    m_sensors = sensors;
    m_hasFrame = true;
    if (!m_enabled)
        return;
    m_frame.analyse(readings.constData(), int(std::min<qsizetype>(sensors, readings.size())));
    m_overlay.show(m_frame, timeUs);
}

QString CurveAnalysis::lineText() const
{
    if (!m_hasFrame)
        return QString();
    const QString centre = m_frame.hasCentre()
                               ? tr("压力中心：列 %1，行 %2")
                                     .arg(QString::number(m_frame.centreColumn(), 'f', 2),
                                          QString::number(m_frame.centreRow(), 'f', 2))
                               : tr("压力中心：无");
    const QString peak = m_frame.peakSensor() < 0
                             ? tr("峰值：无")
                             : tr("峰值：Sensor%1，%2")
                                   .arg(m_frame.peakSensor())
                                   .arg(QString::number(m_frame.peakMagnitude(), 'f', 1));
    const QString total = tr("合力：X %1，Y %2，Z %3，大小 %4")
                              .arg(m_frame.totalX())
                              .arg(m_frame.totalY())
                              .arg(m_frame.totalZ())
                              .arg(QString::number(m_frame.totalMagnitude(), 'f', 1));
    return tr("接触：%1").arg(m_frame.contacts()) + QStringLiteral("    ") + total +
           QStringLiteral("    ") + centre + QStringLiteral("    ") + peak;
}

void CurveAnalysis::detach()
{
    if (!m_attached)
        return;
    m_list->takeItem(m_list->row(m_row));
    for (QCPGraph *&graph : m_graphs)
        m_plot->removeGraph(std::exchange(graph, nullptr));
    m_attached = false;
}

// The graphs start empty; the next update() fills them.
void CurveAnalysis::attach()
{
    if (m_attached || !m_enabled)
        return;
    m_list->addItem(m_row);
    for (int c = 0; c < kTotalCurves; ++c) {
        auto *graph = new QCPGraph(m_plot->xAxis, m_plot->yAxis);
        graph->setName(curveName(c));
        graph->setPen(
            QPen(QBrush(totalColor(c)), kPenWidth, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
        graph->setVisible(m_totalShown);
        m_graphs[std::size_t(c)] = graph;
    }
    m_attached = true;
}

bool CurveAnalysis::applyRowClick(QListWidgetItem *item)
{
    if (!m_attached || item != m_row)
        return false;
    m_totalShown = item->checkState() == Qt::Checked;
    for (QCPGraph *graph : m_graphs)
        graph->setVisible(m_totalShown);
    return true;
}

// Sensor 0 has a point in every frame; another sensor's points are found by key, and a sensor
// without a point in a frame counts as unloaded there.
void CurveAnalysis::update(const CurveBuffer &buffer, uint sensors, const FrameAxis &axis,
                           double upTo)
{
    if (!m_attached)
        return;
    m_line->setText(lineText());
    if (!m_totalShown)
        return;
    const SensorSeries &first = buffer.series(0);
    const QList<double> &at = axis.isTimeShown() ? first.seconds : first.keys;
    std::array<qsizetype, kMaxSensors> next{};
    std::array<Axit_t, kMaxSensors> readings{};
    std::array<QVector<QCPGraphData>, kTotalCurves> points;
    FrameAnalysis total(m_frame.threshold());
    for (qsizetype k = 0; k < first.keys.size() && first.keys.at(k) <= upTo; ++k) {
        const double key = first.keys.at(k);
        for (uint s = 0; s < sensors && s < uint(kMaxSensors); ++s) {
            const SensorSeries &series = buffer.series(int(s));
            qsizetype &i = next[s];
            while (i < series.keys.size() && series.keys.at(i) < key)
                ++i;
            const bool present = i < series.keys.size() && series.keys.at(i) == key;
            readings[s] = present ? Axit_t{short(series.xValues.at(i)), short(series.yValues.at(i)),
                                           short(series.zValues.at(i))}
                                  : Axit_t{0, 0, 0};
        }
        total.analyse(readings.data(), int(std::min<uint>(sensors, kMaxSensors)));
        const double values[kTotalCurves] = {double(total.totalX()), double(total.totalY()),
                                             double(total.totalZ()), total.totalMagnitude()};
        for (int c = 0; c < kTotalCurves; ++c) {
            if (k > 0 && axis.breaksBetween(first.keys.at(k - 1), key))
                points[std::size_t(c)].append({(at.at(k - 1) + at.at(k)) / 2, qQNaN()});
            points[std::size_t(c)].append({at.at(k), values[c]});
        }
    }
    for (int c = 0; c < kTotalCurves; ++c)
        m_graphs[std::size_t(c)]->data()->set(points[std::size_t(c)], true);
}

void CurveAnalysis::widenValueRange(QCPAxis *valueAxis) const
{
    if (!m_attached || !m_totalShown)
        return;
    QCPRange range = valueAxis->range();
    for (QCPGraph *graph : m_graphs) {
        bool found = false;
        const QCPRange values = graph->getValueRange(found);
        if (found)
            range.expand(values);
    }
    valueAxis->setRange(range);
}

void CurveAnalysis::retranslate()
{
    if (m_row)
        m_row->setText(tr("合力"));
    for (int c = 0; c < kTotalCurves; ++c) {
        if (m_graphs[std::size_t(c)])
            m_graphs[std::size_t(c)]->setName(curveName(c));
    }
    if (m_enabled)
        m_line->setText(lineText());
}
