#pragma once

#include <cstddef>
#include <cstdint>
#include <map>

#include <QImage>
#include <QRect>
#include <QSize>

#include "engine/ImageBitmap.h"

class QPainter;

namespace quarvel {

/// The screen images of the bitmaps a pane shows, so that painting converts an engine bitmap
/// at most once rather than at every paint. A bitmap of 8-bit samples whose bytes already have a
/// screen layout (opaque 32-bit colour, 24-bit colour, indexed) is shown from its own memory
/// through a QImage that only reads it; any other bitmap gets a converted copy. Entries are found
/// by the bitmap's address: whoever changes or replaces the document's bitmaps must call Clear
/// before the next paint (the panes do it when the document reports a change and at a new
/// image), and a pane that draws everything it shows between StartFrame and EndFrame lets the
/// cache forget the bitmaps it no longer shows.
///
/// A shrunk image is drawn from a copy resampled once with area averaging for the shown part
/// and size (for 32-bit colour and 8-bit grey images each shrunk pixel is the rounded mean of
/// the whole pixels of its box, so that the rows of a few changed image rows can be worked out
/// again alone); an image at zoom 1 or magnified is drawn pixel for pixel (nearest neighbour).
class CDisplayImageCache {
public:
    /// Draws the pixels source (image coordinates, clipped to the image) of bitmap scaled by
    /// zoom with source's top-left pixel at origin (window coordinates), inside the painter's
    /// clip. Nothing is drawn when the bitmap cannot be converted.
    void Draw(QPainter& painter, const ImageBitmap& bitmap, const QRect& source,
              const QPoint& origin, float zoom);
    /// Forgets every screen image.
    void Clear() { entries_.clear(); }
    /// Rows top to bottom - 1 of bitmap (32-bit colour, or 8-bit grey shown from its own memory)
    /// changed in place: converts only those rows of its screen copy again (a bitmap shown from
    /// its own memory needs nothing), and the rows of the shrunk copy they fall in. An entry
    /// that cannot be updated so is forgotten.
    void UpdateRows(const ImageBitmap& bitmap, int top, int bottom);
    /// Starts a paint of everything the pane shows.
    void StartFrame();
    /// Ends the paint begun by StartFrame: forgets the bitmaps not drawn since.
    void EndFrame();
    /// How many bitmaps have a screen image.
    int Size() const { return static_cast<int>(entries_.size()); }
    /// Bytes of the full-size converted copies held (those shown from their own memory cost
    /// none).
    std::size_t CopiedBytes() const;

private:
    struct Entry {
        QImage image;            ///< the bitmap for the screen: over its own memory or a copy
        bool ownMemory = false;  ///< image reads the bitmap's own memory
        /// What the bitmap was when image was made, so that a bitmap that came to live at the
        /// same address is not shown from an image of another one.
        const std::uint8_t* data = nullptr;
        QSize size;
        std::size_t stride = 0;
        PixelFormat format = PixelFormat32bppRGB;
        QImage shrunk;  ///< shrunkSource of image resampled to shrunkSize
        QRect shrunkSource;
        QSize shrunkSize;
        bool drawn = false;  ///< drawn since the last StartFrame
    };

    /// Whether entry was made from bitmap as it is now laid out.
    static bool Matches(const Entry& entry, const ImageBitmap& bitmap);
    /// A new entry for bitmap; its image is null when the memory cannot be had.
    static Entry MakeEntry(const ImageBitmap& bitmap);

    std::map<const ImageBitmap*, Entry> entries_;
};

}  // namespace quarvel
