#pragma once

#include <map>

#include <QImage>
#include <QRect>
#include <QSize>

class QPainter;

namespace quarvel {

class ImageBitmap;

/// The screen copies of the images a pane shows, so that painting converts an engine bitmap
/// once rather than at every paint. Entries are found by the bitmap's address: whoever changes
/// or replaces the document's bitmaps must call Clear before the next paint (the panes do it
/// when the document reports a change and at a new image).
///
/// A shrunk image is drawn from a copy resampled once with area averaging for the shown part
/// and size (for 32-bit colour copies each shrunk pixel is the rounded mean of the whole pixels
/// of its box, so that the rows of a few changed image rows can be worked out again alone); an
/// image at zoom 1 or magnified is drawn pixel for pixel (nearest neighbour).
class CDisplayImageCache {
public:
    /// Draws the pixels source (image coordinates, clipped to the image) of bitmap scaled by
    /// zoom with source's top-left pixel at origin (window coordinates), inside the painter's
    /// clip. Nothing is drawn when the bitmap cannot be converted.
    void Draw(QPainter& painter, const ImageBitmap& bitmap, const QRect& source,
              const QPoint& origin, float zoom);
    /// Forgets every screen copy.
    void Clear() { entries_.clear(); }
    /// Rows top to bottom - 1 of bitmap changed in place: converts only those rows of its screen
    /// copy again, and the rows of the shrunk copy they fall in. A copy that cannot be updated
    /// so is forgotten.
    void UpdateRows(const ImageBitmap& bitmap, int top, int bottom);
    /// How many bitmaps have a screen copy.
    int Size() const { return static_cast<int>(entries_.size()); }

private:
    struct Entry {
        QImage image;   ///< the bitmap converted for the screen
        QImage shrunk;  ///< shrunkSource of image resampled to shrunkSize
        QRect shrunkSource;
        QSize shrunkSize;
    };

    std::map<const ImageBitmap*, Entry> entries_;
};

}  // namespace quarvel
