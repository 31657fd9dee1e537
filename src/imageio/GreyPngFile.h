#pragma once

#include <filesystem>

#include "engine/ImageBitmap.h"
#include "imageio/ImageFile.h"

namespace quarvel {

/// Writes an 8-bit image (PixelFormat8bppIndexed) as a greyscale PNG file of 8 bits a pixel
/// whose levels are the image's bytes; the palette is not looked at. Meant for images of many
/// megapixels whose rows vary like noise, such as power spectrum images: they compress little
/// whatever the effort, so the file is made for speed.
///
/// Every row is stored with the "up" filter (its difference from the row above) and the rows
/// are compressed in stripes of a few megabytes, in parallel, each stripe with run-length
/// matching only and an empty dictionary, the stripes joined into one zlib stream (each but the
/// last ends on a byte boundary) and written as one IDAT chunk each. The file goes through
/// WriteFileReplacing: a failed save leaves an existing file as it was.
IoResult SaveGreyPngFile(const ImageBitmap& image, const std::filesystem::path& path);

}  // namespace quarvel
