#include "imageio/GreyPngFile.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include "engine/ParallelFor.h"
#include "engine/PlaneMemory.h"
#include "imageio/SafeFileWrite.h"

namespace quarvel {

namespace {

constexpr unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
/// Length and type before a chunk's data, its CRC after it.
constexpr std::size_t kChunkHead = 8;
constexpr std::size_t kChunkTail = 4;
constexpr std::size_t kHeaderData = 13;
/// Deflate with a 32 KiB window, the fastest level, no preset dictionary: 0x7801 is a multiple
/// of 31, as the header's check bits require.
constexpr unsigned char kZlibHeader[2] = {0x78, 0x01};
constexpr std::size_t kAdlerBytes = 4;
/// The filter type byte that starts every row: each byte minus the one above it.
constexpr unsigned char kUpFilter = 2;
/// Filtered bytes a stripe should hold: a 16384 x 16384 image gives 64 stripes.
constexpr std::size_t kStripeBytes = std::size_t{4} << 20;
/// What a flush at the end of a stripe adds to deflateBound, and more.
constexpr std::size_t kFlushRoom = 64;
/// The widest image a PNG file can say.
constexpr std::uint32_t kLargestSide = 0x7FFFFFFF;

void PutBigEndian32(unsigned char* at, std::uint32_t value) {
    at[0] = static_cast<unsigned char>(value >> 24);
    at[1] = static_cast<unsigned char>(value >> 16);
    at[2] = static_cast<unsigned char>(value >> 8);
    at[3] = static_cast<unsigned char>(value);
}

/// Writes the length and type of the chunk at chunk, whose length bytes of data follow.
void OpenChunk(unsigned char* chunk, const char* type, std::size_t length) {
    PutBigEndian32(chunk, static_cast<std::uint32_t>(length));
    std::memcpy(chunk + 4, type, 4);
}

/// Writes the CRC of the chunk at chunk (type and data) after its data.
void SealChunk(unsigned char* chunk, std::size_t length) {
    const uLong crc = crc32_z(0, chunk + 4, 4 + length);
    PutBigEndian32(chunk + kChunkHead + length, static_cast<std::uint32_t>(crc));
}

/// A run of rows compressed on its own into its own room of the output.
struct Stripe {
    std::uint32_t firstRow = 0;
    std::uint32_t rows = 0;
    std::size_t room = 0;    ///< bytes of compressed data the room holds
    std::size_t at = 0;      ///< where the room's chunk starts in the output
    std::size_t prefix = 0;  ///< bytes of the zlib header before the data (first stripe)
    std::size_t length = 0;  ///< compressed bytes written
    uLong adler = 1;         ///< Adler-32 of the stripe's filtered bytes
};

/// The raw deflate stream of every stripe: run-length matching only. Noise-like rows gain
/// nothing from a search for longer matches, and flat areas still shrink to runs.
int StartStripeStream(z_stream& stream) {
    return deflateInit2(&stream, 1, Z_DEFLATED, -15, 8, Z_RLE);
}

/// Filters and compresses the rows of stripe into out; the last stripe ends the stream, the
/// others end on a byte boundary without ending it. False when zlib fails or the room is short.
bool CompressStripe(const ImageBitmap& image, Stripe& stripe, bool last, unsigned char* out) {
    const std::size_t rowBytes = std::size_t{image.Width()} + 1;
    std::vector<unsigned char> row;
    try {
        row.resize(rowBytes);
    } catch (const std::bad_alloc&) {
        return false;
    }
    z_stream stream{};
    if (StartStripeStream(stream) != Z_OK) {
        return false;
    }
    stream.next_out = out;
    stream.avail_out = static_cast<uInt>(stripe.room);
    bool ok = true;
    const std::uint32_t end = stripe.firstRow + stripe.rows;
    for (std::uint32_t y = stripe.firstRow; ok && y < end; ++y) {
        const std::uint8_t* pixels = image.Row(y);
        row[0] = kUpFilter;
        if (y == 0) {
            std::memcpy(row.data() + 1, pixels, rowBytes - 1);
        } else {
            const std::uint8_t* above = image.Row(y - 1);
            for (std::size_t x = 0; x + 1 < rowBytes; ++x) {
                row[x + 1] = static_cast<unsigned char>(pixels[x] - above[x]);
            }
        }
        stripe.adler = adler32_z(stripe.adler, row.data(), rowBytes);
        stream.next_in = row.data();
        stream.avail_in = static_cast<uInt>(rowBytes);
        const int flush = y + 1 < end ? Z_NO_FLUSH : last ? Z_FINISH : Z_SYNC_FLUSH;
        const int status = deflate(&stream, flush);
        // With room to spare every call takes all its input and a flush completes at once.
        ok = stream.avail_in == 0 &&
             (flush == Z_FINISH ? status == Z_STREAM_END : status == Z_OK && stream.avail_out != 0);
    }
    stripe.length = stream.total_out;
    deflateEnd(&stream);
    return ok;
}

}  // namespace

IoResult SaveGreyPngFile(const ImageBitmap& image, const std::filesystem::path& path) {
    assert(image.Format() == PixelFormat8bppIndexed);
    if (image.Format() != PixelFormat8bppIndexed || image.Width() > kLargestSide ||
        image.Height() > kLargestSide) {
        return IoResult::Failure("cannot write " + path.string() +
                                 ": not an 8-bit image of at most 2^31 - 1 pixels a side");
    }
    const std::uint32_t height = image.Height();
    const std::size_t rowBytes = std::size_t{image.Width()} + 1;
    const auto rowsPerStripe = static_cast<std::uint32_t>(
        std::max<std::size_t>(1, std::min<std::size_t>(kStripeBytes / rowBytes, height)));

    // Every stripe gets room for its worst case, one after the other behind the header; the
    // compressed stripes are moved together afterwards.
    z_stream probe{};
    if (StartStripeStream(probe) != Z_OK) {
        return IoResult::Failure("not enough memory to encode the image");
    }
    std::vector<Stripe> stripes;
    std::size_t total = sizeof kSignature + kChunkHead + kHeaderData + kChunkTail;
    try {
        for (std::uint32_t first = 0; first < height; first += rowsPerStripe) {
            Stripe stripe;
            stripe.firstRow = first;
            stripe.rows = std::min(rowsPerStripe, height - first);
            stripe.room =
                deflateBound(&probe, static_cast<uLong>(stripe.rows * rowBytes)) + kFlushRoom;
            stripe.at = total;
            stripe.prefix = first == 0 ? sizeof kZlibHeader : 0;
            total += kChunkHead + stripe.prefix + stripe.room + kAdlerBytes + kChunkTail;
            stripes.push_back(stripe);
        }
    } catch (const std::bad_alloc&) {
        deflateEnd(&probe);
        return IoResult::Failure("not enough memory to encode the image");
    }
    deflateEnd(&probe);
    const std::size_t endChunk = kChunkHead + kChunkTail;
    total += endChunk;
    const BytePlane file = AllocateBytePlane(total);
    if (!file) {
        return IoResult::Failure("not enough memory to encode the image");
    }
    unsigned char* const bytes = file.get();

    std::atomic<bool> failed{false};
    ParallelFor(0, stripes.size(), [&](std::size_t i) {
        Stripe& stripe = stripes[i];
        unsigned char* data = bytes + stripe.at + kChunkHead;
        std::memcpy(data, kZlibHeader, stripe.prefix);
        if (!CompressStripe(image, stripe, i + 1 == stripes.size(), data + stripe.prefix)) {
            failed = true;
        }
    });
    if (failed) {
        return IoResult::Failure("cannot write " + path.string() +
                                 ": the image could not be compressed");
    }

    std::memcpy(bytes, kSignature, sizeof kSignature);
    unsigned char* header = bytes + sizeof kSignature;
    OpenChunk(header, "IHDR", kHeaderData);
    PutBigEndian32(header + kChunkHead, image.Width());
    PutBigEndian32(header + kChunkHead + 4, height);
    // 8 bits a sample, greyscale, deflate, adaptive filtering, no interlace.
    const unsigned char layout[5] = {8, 0, 0, 0, 0};
    std::memcpy(header + kChunkHead + 8, layout, sizeof layout);
    SealChunk(header, kHeaderData);

    // The stream ends with the Adler-32 of all the filtered bytes, after the last stripe.
    uLong adler = 1;
    for (const Stripe& stripe : stripes) {
        adler = adler32_combine(adler, stripe.adler, static_cast<z_off_t>(stripe.rows * rowBytes));
    }
    Stripe& last = stripes.back();
    PutBigEndian32(bytes + last.at + kChunkHead + last.prefix + last.length,
                   static_cast<std::uint32_t>(adler));
    last.length += kAdlerBytes;

    // Each stripe's chunk moves down behind the one before (never up: no stripe outgrows its
    // room); the CRCs are computed afterwards, in parallel.
    std::size_t cursor = stripes.front().at;
    for (Stripe& stripe : stripes) {
        const std::size_t length = stripe.prefix + stripe.length;
        std::memmove(bytes + cursor + kChunkHead, bytes + stripe.at + kChunkHead, length);
        stripe.at = cursor;
        stripe.length = length;
        OpenChunk(bytes + cursor, "IDAT", length);
        cursor += kChunkHead + length + kChunkTail;
    }
    ParallelFor(0, stripes.size(),
                [&](std::size_t i) { SealChunk(bytes + stripes[i].at, stripes[i].length); });
    OpenChunk(bytes + cursor, "IEND", 0);
    SealChunk(bytes + cursor, 0);
    cursor += endChunk;

    if (std::string failure = WriteFileReplacing(path, bytes, cursor); !failure.empty()) {
        return IoResult::Failure(std::move(failure));
    }
    return IoResult::Success();
}

}  // namespace quarvel
