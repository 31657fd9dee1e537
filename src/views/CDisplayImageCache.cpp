#include "views/CDisplayImageCache.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include <QPainter>

#include "engine/ImageBitmap.h"
#include "engine/ParallelFor.h"
#include "imageio/QtBitmap.h"

namespace quarvel {

namespace {

/// The first source line of shrunk line i when count source lines from first are shrunk to
/// size lines; line i covers LineStart(i) to LineStart(i + 1) - 1, at least one line.
int LineStart(std::int64_t i, int first, int count, int size) {
    return first + static_cast<int>(i * count / size);
}

int LineEnd(std::int64_t i, int first, int count, int size) {
    return std::max(LineStart(i + 1, first, count, size), LineStart(i, first, count, size) + 1);
}

/// Whether ShrinkRows takes image in: RGB32, Grayscale8 (a grey level a byte) or Indexed8.
bool ShrunkByBoxes(const QImage& image) {
    return image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_Grayscale8 ||
           image.format() == QImage::Format_Indexed8;
}

/// Rows rowFirst to rowLast - 1 of shrunk (RGB32, size of shrunk) from the part shown of image
/// (as ShrunkByBoxes): each pixel the rounded mean of the pixels of its box, a grey image's
/// level in all three colours, an indexed image's palette colours.
///
/// The bytes of each box's rows are first added up column by column, a loop the compiler runs
/// in vector registers, and the column sums of each box then added across; the sums are exact,
/// so the order does not matter.
void ShrinkRows(const QImage& image, const QRect& shown, QImage& shrunk, int rowFirst,
                int rowLast) {
    const int width = shrunk.width();
    const int height = shrunk.height();
    const bool grey = image.format() == QImage::Format_Grayscale8;
    const bool indexed = image.format() == QImage::Format_Indexed8;
    // Indices beyond the colour table show black.
    std::array<QRgb, 256> palette{};
    const QList<QRgb> table = image.colorTable();
    std::copy_n(table.begin(), std::min<qsizetype>(table.size(), 256), palette.begin());
    const int depth = grey ? 1 : 4;
    std::vector<int> columns(static_cast<std::size_t>(width) + 1);
    for (int i = 0; i <= width; ++i) {
        columns[static_cast<std::size_t>(i)] = LineStart(i, shown.left(), shown.width(), width);
    }
    // The columns the boxes take in, from the first box's left to the last one's right.
    const int left = columns.front();
    const int right = std::max(columns.back(), columns[static_cast<std::size_t>(width) - 1] + 1);
    const auto bytes = static_cast<std::size_t>(depth * (right - left));
    ParallelFor(
        static_cast<std::size_t>(rowFirst), static_cast<std::size_t>(rowLast), [&](std::size_t j) {
            const int y0 =
                LineStart(static_cast<std::int64_t>(j), shown.top(), shown.height(), height);
            const int y1 =
                LineEnd(static_cast<std::int64_t>(j), shown.top(), shown.height(), height);
            // Byte sums of the box rows, one a grey pixel or four a colour one (blue, green,
            // red, unused); a box of at most 65536 rows of 255 fits 32 bits.
            thread_local std::vector<std::uint32_t> sums;
            sums.assign(bytes, 0);
            std::uint32_t* sum = sums.data();
            for (int y = y0; y < y1; ++y) {
                if (indexed) {
                    const uchar* in = image.constScanLine(y) + left;
                    for (int x = 0; x < right - left; ++x) {
                        const QRgb colour = palette[in[x]];
                        sum[4 * x] += static_cast<std::uint32_t>(qBlue(colour));
                        sum[4 * x + 1] += static_cast<std::uint32_t>(qGreen(colour));
                        sum[4 * x + 2] += static_cast<std::uint32_t>(qRed(colour));
                    }
                    continue;
                }
                const uchar* in = image.constScanLine(y) + depth * left;
                for (std::size_t k = 0; k < bytes; ++k) {
                    sum[k] += in[k];
                }
            }
            auto* out = reinterpret_cast<QRgb*>(shrunk.scanLine(static_cast<int>(j)));
            for (int i = 0; i < width; ++i) {
                const int x0 = columns[static_cast<std::size_t>(i)];
                const int x1 = std::max(columns[static_cast<std::size_t>(i) + 1], x0 + 1);
                std::uint64_t red = 0;
                std::uint64_t green = 0;
                std::uint64_t blue = 0;
                for (int x = x0; x < x1; ++x) {
                    const std::uint32_t* pixel = sum + depth * (x - left);
                    blue += pixel[0];
                    green += pixel[grey ? 0 : 1];
                    red += pixel[grey ? 0 : 2];
                }
                const auto count =
                    static_cast<std::uint64_t>(x1 - x0) * static_cast<std::uint64_t>(y1 - y0);
                const auto mean = [count](std::uint64_t total) {
                    return static_cast<int>((total + count / 2) / count);
                };
                out[i] = qRgb(mean(red), mean(green), mean(blue));
            }
        });
}

/// shown of image (any format) shrunk to size.
QImage Shrink(const QImage& image, const QRect& shown, const QSize& size) {
    if (ShrunkByBoxes(image)) {
        QImage shrunk(size, QImage::Format_RGB32);
        if (!shrunk.isNull()) {
            ShrinkRows(image, shown, shrunk, 0, size.height());
        }
        return shrunk;
    }
    // Only a part needs a copy of its own; the whole image is scaled as it is.
    const QImage part = shown == image.rect() ? image : image.copy(shown);
    return part.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

/// Whether the fourth byte of every pixel of rows top to bottom - 1 of a PixelFormat32bppRGB
/// bitmap is 0xFF, as Format_RGB32 requires.
bool RowsOpaque(const ImageBitmap& bitmap, int top, int bottom) {
    for (int y = top; y < bottom; ++y) {
        const std::uint8_t* row = bitmap.Row(static_cast<std::uint32_t>(y));
        std::uint8_t all = 0xFF;
        for (std::uint32_t x = 0; x < bitmap.Width(); ++x) {
            all &= row[4 * x + 3];
        }
        if (all != 0xFF) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool CDisplayImageCache::Matches(const Entry& entry, const ImageBitmap& bitmap) {
    return entry.data == bitmap.Data() &&
           entry.size ==
               QSize(static_cast<int>(bitmap.Width()), static_cast<int>(bitmap.Height())) &&
           entry.stride == bitmap.Stride() && entry.format == bitmap.Format();
}

CDisplayImageCache::Entry CDisplayImageCache::MakeEntry(const ImageBitmap& bitmap) {
    Entry entry;
    entry.data = bitmap.Data();
    entry.size = QSize(static_cast<int>(bitmap.Width()), static_cast<int>(bitmap.Height()));
    entry.stride = bitmap.Stride();
    entry.format = bitmap.Format();
    // Deeper samples are shown reduced to 8 bits, which only a copy holds.
    entry.image =
        DepthOf(bitmap.Format()) == SampleDepth::Bits8 ? ViewAsQImage(bitmap) : ToQImage(bitmap);
    entry.ownMemory = !entry.image.isNull() && entry.image.constBits() == bitmap.Data();
    return entry;
}

std::size_t CDisplayImageCache::CopiedBytes() const {
    std::size_t bytes = 0;
    for (const auto& [bitmap, entry] : entries_) {
        if (!entry.ownMemory) {
            bytes += static_cast<std::size_t>(entry.image.sizeInBytes());
        }
    }
    return bytes;
}

void CDisplayImageCache::StartFrame() {
    for (auto& [bitmap, entry] : entries_) {
        entry.drawn = false;
    }
}

void CDisplayImageCache::EndFrame() {
    std::erase_if(entries_, [](const auto& item) { return !item.second.drawn; });
}

void CDisplayImageCache::UpdateRows(const ImageBitmap& bitmap, int top, int bottom) {
    const auto found = entries_.find(&bitmap);
    if (found == entries_.end()) {
        return;
    }
    Entry& entry = found->second;
    const int width = static_cast<int>(bitmap.Width());
    top = std::max(top, 0);
    bottom = std::min(bottom, static_cast<int>(bitmap.Height()));
    // A grey image over the bitmap's own memory shows the new rows already.
    const bool grey = bitmap.Format() == PixelFormat8bppIndexed &&
                      entry.image.format() == QImage::Format_Grayscale8 && entry.ownMemory;
    const bool colour =
        bitmap.Format() == PixelFormat32bppRGB && entry.image.format() == QImage::Format_RGB32;
    if (!Matches(entry, bitmap) || !(grey || colour)) {
        entries_.erase(found);
        return;
    }
    if (colour && entry.ownMemory) {
        // The image shows the new rows already, if they are still opaque.
        if (!RowsOpaque(bitmap, top, bottom)) {
            entries_.erase(found);
            return;
        }
    } else if (colour) {
        // The conversion of ToQImage, row by row.
        ParallelFor(static_cast<std::size_t>(top), static_cast<std::size_t>(std::max(top, bottom)),
                    [&](std::size_t y) {
                        const std::uint8_t* in = bitmap.Row(static_cast<std::uint32_t>(y));
                        auto* out =
                            reinterpret_cast<QRgb*>(entry.image.scanLine(static_cast<int>(y)));
                        for (int x = 0; x < width; ++x) {
                            out[x] = qRgb(in[4 * x + 2], in[4 * x + 1], in[4 * x]);
                        }
                    });
    }
    if (entry.shrunk.isNull()) {
        return;
    }
    // The shrunk rows whose boxes meet the changed rows.
    const QRect& shown = entry.shrunkSource;
    const int rows = entry.shrunk.height();
    int first = rows;
    int last = 0;
    for (int j = 0; j < rows; ++j) {
        if (LineStart(j, shown.top(), shown.height(), rows) < bottom &&
            LineEnd(j, shown.top(), shown.height(), rows) > top) {
            first = std::min(first, j);
            last = j + 1;
        }
    }
    if (first < last) {
        ShrinkRows(entry.image, shown, entry.shrunk, first, last);
    }
}

void CDisplayImageCache::Draw(QPainter& painter, const ImageBitmap& bitmap, const QRect& source,
                              const QPoint& origin, float zoom) {
    auto found = entries_.find(&bitmap);
    if (found != entries_.end() && !Matches(found->second, bitmap)) {
        entries_.erase(found);
        found = entries_.end();
    }
    if (found == entries_.end()) {
        found = entries_.emplace(&bitmap, MakeEntry(bitmap)).first;
    }
    Entry& entry = found->second;
    entry.drawn = true;
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
        entry.shrunk = Shrink(entry.image, shown, size);
        entry.shrunkSource = shown;
        entry.shrunkSize = size;
    }
    painter.drawImage(QPoint(static_cast<int>(std::lround(topLeft.x())),
                             static_cast<int>(std::lround(topLeft.y()))),
                      entry.shrunk);
}

}  // namespace quarvel
