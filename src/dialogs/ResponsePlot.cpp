#include "dialogs/ResponsePlot.h"

#include <algorithm>

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPen>

namespace quarvel {

namespace {

/// v + 0.5 in single precision, truncated toward zero.
int Rnd(float v) {
    return static_cast<int>(v + 0.5f);
}

QFont PlotFont(int pixelHeight) {
    QFont font(QStringLiteral("Verdana"));
    font.setPixelSize(pixelHeight);
    font.setWeight(QFont::Normal);
    return font;
}

QPen PlotPen(QRgb colour, int width, Qt::PenStyle style) {
    QPen pen(QColor(colour), width, style);
    pen.setCapStyle(width > 1 ? Qt::RoundCap : Qt::FlatCap);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
}

/// A rectangle given by its left, top, right and bottom edges.
QRect Edges(int left, int top, int right, int bottom) {
    return QRect(left, top, right - left, bottom - top);
}

}  // namespace

QImage RenderResponsePlot(QSize clientSize, const std::vector<float>& curve, const QString& caption,
                          const std::vector<int>& markers) {
    const int w = clientSize.width() - 10;
    const int h = clientSize.height() - 10;
    if (w <= 0 || h <= 0) {
        return {};
    }
    QImage picture(w, h, QImage::Format_RGB32);
    picture.fill(QColor(kPlotBackground));
    QPainter p(&picture);

    // Caption, centred at the top.
    p.setPen(QColor(kPlotText));
    p.setFont(PlotFont(12));
    const int cyC = QFontMetrics(p.font()).height();
    p.drawText(Edges(0, 10, w, cyC + 10), Qt::AlignHCenter | Qt::AlignTop, caption);

    // Axis geometry from the extent of the widest label.
    const QFont axisFont = PlotFont(10);
    const QFontMetrics axisMetrics(axisFont);
    p.setFont(axisFont);
    const int cx0 = axisMetrics.horizontalAdvance(QStringLiteral("0.0000"));
    const int cy0 = axisMetrics.height();
    const int x0 = cx0;
    const int xEnd = w - cx0 / 2;
    const int yBase = h - 2 * cy0;
    const int yTop = cyC + 25;
    const int span = yBase - yTop;

    p.setPen(PlotPen(kPlotText, 2, Qt::SolidLine));
    p.drawLine(x0, yBase, xEnd, yBase);
    p.drawLine(x0, cyC + 20, x0, yBase);

    // Vertical scale with its grid lines above the base line.
    const int levels[5] = {yTop, yTop + span / 4, yTop + span / 2, yTop + (3 * span) / 4, yBase};
    const char* const levelLabels[5] = {"1.00", "0.75", "0.50", "0.25", "0.00"};
    for (int k = 0; k < 5; ++k) {
        const int y = levels[k];
        p.setPen(PlotPen(kPlotText, 1, Qt::SolidLine));
        p.drawLine(x0 - 5, y, x0, y);
        p.drawText(Edges(0, y - cy0 / 2, x0 - 7, y - cy0 / 2 + cy0), Qt::AlignRight | Qt::AlignTop,
                   QString::fromLatin1(levelLabels[k]));
        if (k < 4) {
            p.setPen(PlotPen(kPlotText, 1, Qt::DotLine));
            p.drawLine(x0, y, xEnd, y);
        }
    }

    // Vertical grid lines, then the horizontal scale at the same places.
    const float step = static_cast<float>(xEnd - x0) / 10;
    p.setPen(PlotPen(kPlotText, 1, Qt::DotLine));
    for (int k = 0; k <= 10; ++k) {
        const int xk = x0 + Rnd(static_cast<float>(k) * step);
        p.drawLine(xk, yTop, xk, yBase);
    }
    p.setPen(PlotPen(kPlotText, 1, Qt::SolidLine));
    for (int k = 0; k <= 10; ++k) {
        const int xk = x0 + Rnd(static_cast<float>(k) * step);
        const QString label = QString::number(10 * k);
        const int cx = axisMetrics.horizontalAdvance(label);
        const int cy = axisMetrics.height();
        p.drawText(Edges(xk - cx / 2 - 1, h - cy - 5, xk + cx / 2 + 1, h),
                   Qt::AlignHCenter | Qt::AlignTop, label);
        p.drawLine(xk, yBase, xk, yBase + 5);
    }

    // The curve of distances 0 to 99 percent with a dotted marker at each cut-off.
    if (curve.size() >= 200) {
        const float xs = static_cast<float>(xEnd - x0) / 99;
        const float s = static_cast<float>(span);
        const QPen curvePen = PlotPen(kPlotCurve, 2, Qt::SolidLine);
        const QPen markerPen = PlotPen(kPlotCurve, 1, Qt::DotLine);
        p.setPen(curvePen);
        for (int i = 1; i <= 99; ++i) {
            const int xa = x0 + Rnd(static_cast<float>(i - 1) * xs);
            const int xb = x0 + Rnd(static_cast<float>(i) * xs);
            const int ya = yBase - Rnd(s * curve[static_cast<std::size_t>(99 + i)]);
            const int yb = yBase - Rnd(s * curve[static_cast<std::size_t>(100 + i)]);
            p.drawLine(xa, ya, xb, yb);
            if (std::find(markers.begin(), markers.end(), i) != markers.end()) {
                p.setPen(markerPen);
                p.drawLine(xb, yb, xb, yBase);
                p.drawLine(x0, yb, xb, yb);
                p.setPen(curvePen);
            }
        }
    }
    p.end();
    return picture;
}

void DrawResponsePlot(QPainter& painter, const QRect& client, const std::vector<float>& curve,
                      const QString& caption, const std::vector<int>& markers) {
    const QImage picture = RenderResponsePlot(client.size(), curve, caption, markers);
    if (!picture.isNull()) {
        painter.drawImage(client.topLeft() + QPoint(5, 5), picture);
    }
}

}  // namespace quarvel
