#pragma once

#include <QImage>
#include <QRect>
#include <QString>
#include <vector>

class QPainter;

namespace quarvel {

/// The plot's pen and text colours and its background.
inline constexpr QRgb kPlotBackground = qRgb(255, 255, 220);
inline constexpr QRgb kPlotText = qRgb(164, 0, 0);
inline constexpr QRgb kPlotCurve = qRgb(0, 0, 164);

/// Renders the response plot of a control whose client area is clientSize: a picture 10 pixels
/// smaller each way with the caption, the axes, the ticks and labels, the dotted grid, the curve
/// of distances 0 to 99 percent (samples 100 to 199 of the 200-sample curve) and a dotted
/// marker at each cut-off in markers that lies between 1 and 99. Empty when the control is too
/// small for a picture.
QImage RenderResponsePlot(QSize clientSize, const std::vector<float>& curve, const QString& caption,
                          const std::vector<int>& markers);

/// Paints the picture of RenderResponsePlot into the control at offset (5, 5).
void DrawResponsePlot(QPainter& painter, const QRect& client, const std::vector<float>& curve,
                      const QString& caption, const std::vector<int>& markers);

}  // namespace quarvel
