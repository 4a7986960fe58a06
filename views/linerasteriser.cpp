// SPDX-License-Identifier: GPL-3.0-or-later
#include "linerasteriser.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Farther than this from the target, a coordinate belongs to no plot; Qt's own drawing takes it.
constexpr qreal kCoordinateLimit = 1 << 20;

// Qt's rasteriser places outline points on a grid of 1/64 pixel, rounding as qRound does.
QPointF onOutlineGrid(QPointF p)
{
    return {qreal(qRound64(p.x() * 64)) / 64, qreal(qRound64(p.y() * 64)) / 64};
}

int ceilOfNonNegative(float v)
{
    const int i = int(v);
    return float(i) < v ? i + 1 : i;
}

// x * a / 255 in each byte, rounded as Qt's drawing does.
uint byteMul(uint x, uint a)
{
    quint64 t = ((quint64(x) | (quint64(x) << 24)) & 0x00ff00ff00ff00ffULL) * a;
    t = (t + ((t >> 8) & 0x00ff00ff00ff00ffULL) + 0x0080008000800080ULL) >> 8;
    t &= 0x00ff00ff00ff00ffULL;
    return uint(t) | uint(t >> 24);
}

// Source over with a coverage of 1 to 255, as Qt blends a solid colour into a span.
Q_ALWAYS_INLINE void blend(QRgb &pixel, QRgb colour, int coverage)
{
    if (coverage == 255 && qAlpha(colour) == 255) {
        pixel = colour;
        return;
    }
    const QRgb source = coverage == 255 ? colour : byteMul(colour, uint(coverage));
    pixel = source + byteMul(pixel, qAlpha(~source));
}

// Winding area of a pixel, 1 for full, to a coverage of 0 to 255, clamped as Qt's rasteriser does
// for the non-zero rule. Qt's outlines wind so that its fixed-point shift rounds their area up;
// rounding up here too matches its pixels best. All but the last thousandth of a level is rounded
// up, so that the float error of a pixel no edge covers does not count as coverage.
Q_ALWAYS_INLINE int coverageOf(float winding)
{
    return std::min(int(std::fabs(winding) * 256.0f + 0.999f), 255);
}

// Whether four cells hold nothing at all (+0.0: a sweep leaves them so), tested as plain bits.
Q_ALWAYS_INLINE bool fourEmpty(const float *cells)
{
    quint64 halves[2];
    std::memcpy(halves, cells, sizeof halves);
    return (halves[0] | halves[1]) == 0;
}

} // namespace

bool LineRasteriser::drawPolyline(QImage &target, const QRect &clip, const QPointF *points,
                                  qsizetype count, qreal width, QRgb colour)
{
    m_points.clear();
    for (qsizetype i = 0; i < count; ++i) {
        const QPointF &p = points[i];
        if (!std::isfinite(p.x()) || !std::isfinite(p.y()) || std::fabs(p.x()) > kCoordinateLimit ||
            std::fabs(p.y()) > kCoordinateLimit)
            return false;
        // A segment without length has no direction, and Qt's stroker skips it.
        if (m_points.empty() || p != m_points.back())
            m_points.push_back(p);
    }
    if (m_points.size() < 2 || !(width > 0) || width > kCoordinateLimit)
        return false;
    const QRect area = clip & target.rect();
    if (area.isEmpty())
        return true;
    begin(area);
    outline(m_points, width / 2);
    sweep(target, colour);
    return true;
}

void LineRasteriser::begin(const QRect &area)
{
    m_area = area;
    // A pixel's winding is the sum of its row's cells up to it; an edge on the right border adds to
    // the two cells beyond the last pixel.
    m_stride = area.width() + 2;
    const std::size_t cells = std::size_t(m_stride) * std::size_t(area.height());
    // Every sweep leaves the cells it read at zero, so the buffer is cleared only when it grows.
    if (m_accumulated.size() < cells)
        m_accumulated.assign(cells, 0.0f);
    if (m_rows.size() < std::size_t(area.height()))
        m_rows.resize(std::size_t(area.height()));
    m_firstRow = area.height();
    m_lastRow = -1;
}

// The outline runs out along one side of the line, round the end cap and back along the other.
// At a turn the outer side is cut straight across (bevel); the inner side goes through the turning
// point, so that the two segments' overlap counts twice and stays covered.
void LineRasteriser::outline(const std::vector<QPointF> &p, qreal halfWidth)
{
    const std::size_t segments = p.size() - 1;
    // Kept between lines: the plot draws 48 of them on every refresh.
    std::vector<QPointF> &along = m_along;
    std::vector<QPointF> &side = m_side;
    along.resize(segments);
    side.resize(segments);
    for (std::size_t i = 0; i < segments; ++i) {
        const QPointF d = p[i + 1] - p[i];
        along[i] = d / std::sqrt(d.x() * d.x() + d.y() * d.y());
        side[i] = QPointF(-along[i].y(), along[i].x()) * halfWidth;
    }
    // Square caps: the line reaches half the pen width beyond its ends.
    const auto start = [&](std::size_t i) {
        return i == 0 ? p[0] - along[0] * halfWidth : p[i];
    };
    const auto end = [&](std::size_t i) {
        return i + 1 == segments ? p[i + 1] + along[i] * halfWidth : p[i + 1];
    };
    // Positive when the line turns towards the positive side after segment i.
    const auto turn = [&](std::size_t i) {
        return along[i].x() * along[i + 1].y() - along[i].y() * along[i + 1].x();
    };

    const QPointF origin = onOutlineGrid(start(0) + side[0]);
    m_pen = origin;
    for (std::size_t i = 0; i < segments; ++i) {
        addEdge(m_pen, end(i) + side[i]);
        if (i + 1 < segments) {
            if (turn(i) > 0)
                addEdge(m_pen, p[i + 1]);
            addEdge(m_pen, start(i + 1) + side[i + 1]);
        }
    }
    addEdge(m_pen, end(segments - 1) - side[segments - 1]);
    for (std::size_t i = segments; i-- > 0;) {
        addEdge(m_pen, start(i) - side[i]);
        if (i > 0) {
            if (turn(i - 1) < 0)
                addEdge(m_pen, p[i]);
            addEdge(m_pen, end(i - 1) - side[i - 1]);
        }
    }
    addEdge(m_pen, origin);
}

// Adds the edge from the pen to `to` and moves the pen there. What lies left of the area still
// counts for every pixel right of it, so it moves onto the left border; what lies right of the
// area touches none of its pixels.
void LineRasteriser::addEdge(QPointF from, QPointF to)
{
    to = onOutlineGrid(to);
    m_pen = to;
    double x0 = from.x() - m_area.x(), y0 = from.y() - m_area.y();
    double x1 = to.x() - m_area.x(), y1 = to.y() - m_area.y();
    const double right = m_area.width();
    const auto yAt = [&](double x) {
        return y0 + (y1 - y0) * (x - x0) / (x1 - x0);
    };
    if (x0 >= right && x1 >= right)
        return;
    if (x0 > right) {
        y0 = yAt(right);
        x0 = right;
    } else if (x1 > right) {
        y1 = yAt(right);
        x1 = right;
    }
    if (x0 < 0 && x1 < 0) {
        accumulate(0, float(y0), 0, float(y1));
        return;
    }
    if (x0 < 0) {
        const double y = yAt(0);
        accumulate(0, float(y0), 0, float(y));
        x0 = 0;
        y0 = y;
    } else if (x1 < 0) {
        const double y = yAt(0);
        accumulate(0, float(y), 0, float(y1));
        x1 = 0;
        y1 = y;
    }
    accumulate(float(x0), float(y0), float(x1), float(y1));
}

inline void LineRasteriser::touch(int row, int first, int last)
{
    RowRanges &ranges = m_rows[std::size_t(row)];
    if (ranges.count > 0) {
        int &f = ranges.first[ranges.count - 1];
        int &l = ranges.last[ranges.count - 1];
        if (first <= l + 1 && last >= f - 1) {
            f = std::min(f, first);
            l = std::max(l, last);
            return;
        }
    }
    if (ranges.count == kMaxRowRanges) {
        for (int i = 0; i < ranges.count; ++i) {
            first = std::min(first, ranges.first[i]);
            last = std::max(last, ranges.last[i]);
        }
        ranges.count = 0;
    }
    ranges.first[ranges.count] = first;
    ranges.last[ranges.count] = last;
    ++ranges.count;
}

// Adds an edge's signed area to the cells of each row it crosses; x lies within the area.
void LineRasteriser::accumulate(float x0, float y0, float x1, float y1)
{
    if (y0 == y1)
        return;
    float direction = 1;
    if (y0 > y1) {
        std::swap(x0, x1);
        std::swap(y0, y1);
        direction = -1;
    }
    const float top = std::max(y0, 0.0f);
    const float bottom = std::min(y1, float(m_area.height()));
    if (!(top < bottom))
        return;
    const float right = float(m_area.width());
    const float dxdy = (x1 - x0) / (y1 - y0);
    float x = x0 + (top - y0) * dxdy;
    const int endRow = ceilOfNonNegative(bottom);
    m_firstRow = std::min(m_firstRow, int(top));
    m_lastRow = std::max(m_lastRow, endRow - 1);
    for (int y = int(top); y < endRow; ++y) {
        float *row = &m_accumulated[std::size_t(y) * std::size_t(m_stride)];
        const float dy = std::min(float(y + 1), bottom) - std::max(float(y), top);
        const float xNext = x + dxdy * dy;
        const float d = dy * direction;
        const float xa = std::clamp(std::min(x, xNext), 0.0f, right);
        const float xb = std::clamp(std::max(x, xNext), 0.0f, right);
        const int xai = int(xa);
        // One past the column of xb. Where xb lies on a column border this takes one column
        // more than needed, which the formulas below give nothing; it spares a dependent
        // float-to-integer round trip on every row.
        const int xbi = int(xb) + 1;
        if (xbi == xai + 1) {
            // Within one column: the part right of the edge, then the rest of the row.
            const float mid = 0.5f * (xa + xb) - float(xai);
            row[xai] += d - d * mid;
            row[xai + 1] += d * mid;
        } else {
            // Across columns: a triangle in the first and last, equal steps between.
            const float s = 1.0f / (xb - xa);
            const float xaFrac = xa - float(xai);
            const float a0 = 0.5f * s * (1 - xaFrac) * (1 - xaFrac);
            const float xbFrac = xb - float(xbi) + 1;
            const float am = 0.5f * s * xbFrac * xbFrac;
            row[xai] += d * a0;
            if (xbi == xai + 2) {
                row[xai + 1] += d * (1 - a0 - am);
            } else {
                const float a1 = s * (1.5f - xaFrac);
                row[xai + 1] += d * (a1 - a0);
                for (int xi = xai + 2; xi < xbi - 1; ++xi)
                    row[xi] += d * s;
                const float a2 = a1 + float(xbi - xai - 3) * s;
                row[xbi - 1] += d * (1 - a2 - am);
            }
            row[xbi] += d * am;
        }
        touch(y, xai, xbi);
        x = xNext;
    }
}

void LineRasteriser::sweep(QImage &target, QRgb colour)
{
    // The pixels the paint engine draws into. bits() could detach a shared image and leave the
    // engine drawing into the old copy; the engine detached it when painting began.
    auto *const bits = const_cast<uchar *>(target.constBits());
    const qsizetype bytesPerLine = target.bytesPerLine();
    for (int y = m_firstRow; y <= m_lastRow; ++y) {
        RowRanges &ranges = m_rows[std::size_t(y)];
        if (ranges.count == 0)
            continue;
        auto *pixels =
            reinterpret_cast<QRgb *>(bits + (m_area.y() + y) * bytesPerLine) + m_area.x();
        sweepRow(ranges, &m_accumulated[std::size_t(y) * std::size_t(m_stride)], pixels, colour);
        ranges.count = 0;
    }
}

// Sums the row's cells from the left, blending each pixel with its coverage and leaving the cells
// at zero. Between the touched ranges the winding stays as it is, so inside a line it fills.
void LineRasteriser::sweepRow(RowRanges &ranges, float *accumulated, QRgb *pixels,
                              QRgb colour) const
{
    // Few ranges, mostly in order already.
    for (int i = 1; i < ranges.count; ++i) {
        for (int j = i; j > 0 && ranges.first[j] < ranges.first[j - 1]; --j) {
            std::swap(ranges.first[j], ranges.first[j - 1]);
            std::swap(ranges.last[j], ranges.last[j - 1]);
        }
    }
    const int width = m_area.width();
    float winding = 0;
    int coverage = 0;
    int next = 0;
    for (int i = 0; i < ranges.count; ++i) {
        const int first = std::max(ranges.first[i], next);
        const int last = ranges.last[i];
        if (last < first)
            continue;
        if (coverage > 0) {
            for (int x = next; x < std::min(first, width); ++x)
                blend(pixels[x], colour, coverage);
        }
        for (int x = first; x <= last; ++x) {
            // Outside the line, cells that add nothing leave their pixels as they are: most of
            // the width a flat line's rows span.
            if (coverage == 0) {
                while (x + 3 <= last && fourEmpty(accumulated + x))
                    x += 4;
                while (x < last && accumulated[x] == 0)
                    ++x;
            }
            if (accumulated[x] != 0) {
                winding += accumulated[x];
                accumulated[x] = 0;
                coverage = coverageOf(winding);
            }
            if (coverage > 0 && x < width)
                blend(pixels[x], colour, coverage);
        }
        next = last + 1;
    }
    // A line that leaves the area to the right has no edge there: it covers up to the border.
    if (coverage > 0) {
        for (int x = next; x < width; ++x)
            blend(pixels[x], colour, coverage);
    }
}
