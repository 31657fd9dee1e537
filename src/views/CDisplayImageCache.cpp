#include "views/CDisplayImageCache.h"

#include <cmath>

#include <QPainter>

#include "engine/ImageBitmap.h"
#include "imageio/QtBitmap.h"

namespace quarvel {

void CDisplayImageCache::Draw(QPainter& painter, const ImageBitmap& bitmap, const QRect& source,
                              const QPoint& origin, float zoom) {
    auto found = entries_.find(&bitmap);
    if (found == entries_.end()) {
        found = entries_.emplace(&bitmap, Entry{ToQImage(bitmap), {}, {}, {}}).first;
    }
    Entry& entry = found->second;
    if (entry.image.isNull() || !(zoom > 0.0f)) {
        return;
    }
    // Pixels of source outside the image are not drawn; the shown part keeps its place.
    const QRect shown = source.intersected(entry.image.rect());
    if (shown.isEmpty()) {
        return;
    }
    const double z = static_cast<double>(zoom);
    const QPointF topLeft(origin.x() + (shown.left() - source.left()) * z,
                          origin.y() + (shown.top() - source.top()) * z);
    const QRectF target(topLeft, QSizeF(shown.width() * z, shown.height() * z));

    if (zoom >= 1.0f) {
        // Magnified pixels stay sharp squares.
        painter.save();
        painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
        painter.drawImage(target, entry.image, QRectF(shown));
        painter.restore();
        return;
    }
    const QSize size(std::max(1, static_cast<int>(std::lround(target.width()))),
                     std::max(1, static_cast<int>(std::lround(target.height()))));
    if (entry.shrunk.isNull() || entry.shrunkSource != shown || entry.shrunkSize != size) {
        // Only a part needs a copy of its own; the whole image is scaled as it is.
        const QImage part = shown == entry.image.rect() ? entry.image : entry.image.copy(shown);
        entry.shrunk = part.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        entry.shrunkSource = shown;
        entry.shrunkSize = size;
    }
    painter.drawImage(QPoint(static_cast<int>(std::lround(topLeft.x())),
                             static_cast<int>(std::lround(topLeft.y()))),
                      entry.shrunk);
}

}  // namespace quarvel
