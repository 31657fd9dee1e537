#include "imageio/FloatTiffFile.h"

#include <tiffio.h>

#include <algorithm>
#include <cfloat>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>

#include "engine/DeepImage.h"

namespace quarvel {

namespace {

/// The file libtiff reads or writes: the bytes of a file being read, or a growing block being
/// written, with the position of the next access.
struct TiffStream {
    const ByteSource* source = nullptr;
    std::vector<char>* target = nullptr;
    std::uint64_t position = 0;
    /// The first error libtiff reported for this file.
    std::string error;
};

TiffStream& StreamOf(thandle_t handle) {
    return *static_cast<TiffStream*>(handle);
}

tmsize_t ReadStream(thandle_t handle, void* buffer, tmsize_t size) {
    TiffStream& stream = StreamOf(handle);
    if (size <= 0) {
        return 0;
    }
    std::size_t done = 0;
    if (stream.source != nullptr) {
        done = stream.source->ReadAt(stream.position, buffer, static_cast<std::size_t>(size));
    } else if (stream.position < stream.target->size()) {
        done = std::min<std::size_t>(static_cast<std::size_t>(size),
                                     stream.target->size() - stream.position);
        std::memcpy(buffer, stream.target->data() + stream.position, done);
    }
    stream.position += done;
    return static_cast<tmsize_t>(done);
}

tmsize_t WriteStream(thandle_t handle, void* buffer, tmsize_t size) {
    TiffStream& stream = StreamOf(handle);
    if (stream.target == nullptr || size < 0) {
        return -1;
    }
    const std::uint64_t end = stream.position + static_cast<std::uint64_t>(size);
    try {
        if (end > stream.target->size()) {
            stream.target->resize(end);
        }
    } catch (const std::bad_alloc&) {
        return -1;
    }
    std::memcpy(stream.target->data() + stream.position, buffer, static_cast<std::size_t>(size));
    stream.position = end;
    return size;
}

toff_t SizeOfStream(thandle_t handle) {
    const TiffStream& stream = StreamOf(handle);
    return stream.source != nullptr ? stream.source->Size() : stream.target->size();
}

toff_t SeekStream(thandle_t handle, toff_t offset, int whence) {
    TiffStream& stream = StreamOf(handle);
    std::uint64_t base = 0;
    if (whence == SEEK_CUR) {
        base = stream.position;
    } else if (whence == SEEK_END) {
        base = SizeOfStream(handle);
    }
    stream.position = base + offset;
    return stream.position;
}

int CloseStream(thandle_t) {
    return 0;
}

int MapStream(thandle_t, void**, toff_t*) {
    return 0;
}

void UnmapStream(thandle_t, void*, toff_t) {}

/// Keeps libtiff's first error of a file with the file instead of printing it; warnings are
/// dropped (the pixels decide).
int OnError(TIFF*, void* user, const char* module, const char* format, va_list arguments) {
    auto& stream = *static_cast<TiffStream*>(user);
    if (stream.error.empty()) {
        char text[512];
        std::vsnprintf(text, sizeof text, format, arguments);
        stream.error = module != nullptr && *module != '\0' ? std::string(module) + ": " + text
                                                            : std::string(text);
    }
    return 1;
}

int OnWarning(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

/// A TIFF handle over stream, closed with the object; null when libtiff refuses the file.
class TiffHandle {
public:
    TiffHandle(TiffStream& stream, const char* mode) {
        TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
        if (options == nullptr) {
            return;
        }
        TIFFOpenOptionsSetErrorHandlerExtR(options, OnError, &stream);
        TIFFOpenOptionsSetWarningHandlerExtR(options, OnWarning, &stream);
        tiff_ = TIFFClientOpenExt("image", mode, &stream, ReadStream, WriteStream, SeekStream,
                                  CloseStream, SizeOfStream, MapStream, UnmapStream, options);
        TIFFOpenOptionsFree(options);
    }
    ~TiffHandle() {
        if (tiff_ != nullptr) {
            TIFFClose(tiff_);
        }
    }
    TiffHandle(const TiffHandle&) = delete;
    TiffHandle& operator=(const TiffHandle&) = delete;

    TIFF* get() const { return tiff_; }
    /// Flushes and closes the file; false when that fails.
    bool Close() {
        const bool flushed = TIFFFlush(tiff_) == 1;
        TIFFClose(tiff_);
        tiff_ = nullptr;
        return flushed;
    }

private:
    TIFF* tiff_ = nullptr;
};

bool StartsAsTiff(const ByteSource& bytes) {
    unsigned char head[4] = {};
    if (bytes.ReadAt(0, head, sizeof head) != sizeof head) {
        return false;
    }
    // Little- or big-endian, classic (42) or BigTIFF (43).
    return (head[0] == 'I' && head[1] == 'I' && (head[2] == 42 || head[2] == 43) && head[3] == 0) ||
           (head[0] == 'M' && head[1] == 'M' && head[2] == 0 && (head[3] == 42 || head[3] == 43));
}

std::string Damaged(const TiffStream& stream) {
    return stream.error.empty() ? "damaged or truncated image data"
                                : "damaged or truncated image data (" + stream.error + ")";
}

}  // namespace

TiffLayout ProbeTiff(const ByteSource& bytes) {
    TiffLayout layout;
    if (!StartsAsTiff(bytes)) {
        return layout;
    }
    TiffStream stream;
    stream.source = &bytes;
    const TiffHandle tiff(stream, "rm");
    if (tiff.get() == nullptr) {
        return layout;
    }
    std::uint16_t sampleFormat = SAMPLEFORMAT_UINT;
    layout.isTiff = TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &layout.width) == 1 &&
                    TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &layout.height) == 1;
    TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_BITSPERSAMPLE, &layout.bitsPerSample);
    TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_SAMPLESPERPIXEL, &layout.samplesPerPixel);
    TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_SAMPLEFORMAT, &sampleFormat);
    layout.floatSamples = sampleFormat == SAMPLEFORMAT_IEEEFP;
    return layout;
}

std::string ReadFloatTiff(const ByteSource& bytes, std::unique_ptr<ImageBitmap>& image) {
    image.reset();
    TiffStream stream;
    stream.source = &bytes;
    const TiffHandle tiff(stream, "rm");
    if (tiff.get() == nullptr) {
        return Damaged(stream);
    }
    TIFF* file = tiff.get();
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint16_t bits = 0;
    std::uint16_t samples = 0;
    std::uint16_t photometric = PHOTOMETRIC_MINISBLACK;
    if (TIFFGetField(file, TIFFTAG_IMAGEWIDTH, &width) != 1 ||
        TIFFGetField(file, TIFFTAG_IMAGELENGTH, &height) != 1 || width == 0 || height == 0) {
        return Damaged(stream);
    }
    TIFFGetFieldDefaulted(file, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(file, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetField(file, TIFFTAG_PHOTOMETRIC, &photometric);
    if (samples != 1) {
        return "floating-point TIFF with " + std::to_string(samples) +
               " samples a pixel: only single-channel (grey) floating-point images are read";
    }
    if (bits != 32) {
        return std::to_string(bits) +
               "-bit floating-point TIFF: only 32-bit floating-point samples are read";
    }
    if (photometric != PHOTOMETRIC_MINISBLACK) {
        return "floating-point TIFF whose samples are not grey levels with black at zero";
    }
    std::unique_ptr<ImageBitmap> bitmap =
        ImageBitmap::Create(width, height, PixelFormat32bppGrayFloat);
    if (!bitmap) {
        return "not enough memory for " + std::to_string(width) + " x " + std::to_string(height) +
               " pixels";
    }
    const std::size_t rowBytes = 4 * static_cast<std::size_t>(width);
    if (TIFFIsTiled(file) != 0) {
        std::uint32_t tileWidth = 0;
        std::uint32_t tileHeight = 0;
        if (TIFFGetField(file, TIFFTAG_TILEWIDTH, &tileWidth) != 1 ||
            TIFFGetField(file, TIFFTAG_TILELENGTH, &tileHeight) != 1 || tileWidth == 0 ||
            tileHeight == 0 || TIFFTileSize64(file) != 4ull * tileWidth * tileHeight) {
            return Damaged(stream);
        }
        std::unique_ptr<char[]> tile(new (std::nothrow) char[TIFFTileSize64(file)]);
        if (!tile) {
            return "not enough memory for a tile of " + std::to_string(tileWidth) + " x " +
                   std::to_string(tileHeight) + " pixels";
        }
        for (std::uint32_t y = 0; y < height; y += tileHeight) {
            for (std::uint32_t x = 0; x < width; x += tileWidth) {
                if (TIFFReadTile(file, tile.get(), x, y, 0, 0) < 0) {
                    return Damaged(stream);
                }
                const std::uint32_t rows = std::min(tileHeight, height - y);
                const std::size_t columns = std::min(tileWidth, width - x);
                for (std::uint32_t r = 0; r < rows; ++r) {
                    std::memcpy(bitmap->Row(y + r) + 4 * static_cast<std::size_t>(x),
                                tile.get() + 4 * static_cast<std::size_t>(r) * tileWidth,
                                4 * columns);
                }
            }
        }
    } else {
        if (TIFFScanlineSize64(file) != rowBytes) {
            return Damaged(stream);
        }
        for (std::uint32_t y = 0; y < height; ++y) {
            if (TIFFReadScanline(file, bitmap->Row(y), y, 0) < 0) {
                return Damaged(stream);
            }
        }
    }
    if (!FloatSamplesWithin(*bitmap, FLT_MAX)) {
        return "samples that are not numbers (NaN) or infinite";
    }
    image = std::move(bitmap);
    return {};
}

std::string EncodeFloatTiff(const ImageBitmap& image, std::vector<char>& file) {
    file.clear();
    if (image.Format() != PixelFormat32bppGrayFloat) {
        return "not a floating-point grey image";
    }
    TiffStream stream;
    stream.target = &file;
    // Files beyond the 4 GB of a classic TIFF file are written as BigTIFF.
    const bool big = image.ByteSize() > (std::uint64_t{3} << 30);
    TiffHandle tiff(stream, big ? "w8" : "w");
    TIFF* out = tiff.get();
    if (out == nullptr) {
        return "the TIFF encoder cannot start: " + stream.error;
    }
    const std::uint32_t width = image.Width();
    TIFFSetField(out, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(out, TIFFTAG_IMAGELENGTH, image.Height());
    TIFFSetField(out, TIFFTAG_BITSPERSAMPLE, 32);
    TIFFSetField(out, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(out, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_IEEEFP);
    TIFFSetField(out, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(out, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(out, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
    TIFFSetField(out, TIFFTAG_PREDICTOR, PREDICTOR_FLOATINGPOINT);
    TIFFSetField(out, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(out, 0));
    // The predictor works in the row it is given: each row goes through a copy.
    std::vector<char> row;
    try {
        row.resize(4 * static_cast<std::size_t>(width));
    } catch (const std::bad_alloc&) {
        return "not enough memory to encode the image";
    }
    for (std::uint32_t y = 0; y < image.Height(); ++y) {
        std::memcpy(row.data(), image.Row(y), row.size());
        if (TIFFWriteScanline(out, row.data(), y, 0) < 0) {
            return "the TIFF encoder cannot write this image: " + stream.error;
        }
    }
    if (!tiff.Close() || !stream.error.empty()) {
        return "the TIFF encoder cannot write this image: " + stream.error;
    }
    return {};
}

}  // namespace quarvel
