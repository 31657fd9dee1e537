#include "imageio/ImageProbe.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

namespace quarvel {

std::size_t FileBytes::ReadAt(std::uint64_t offset, void* buffer, std::size_t count) const {
    std::size_t done = 0;
    auto* out = static_cast<unsigned char*>(buffer);
    while (done < count) {
        const ssize_t got =
            ::pread(fd_, out + done, count - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    return done;
}

std::size_t MemoryBytes::ReadAt(std::uint64_t offset, void* buffer, std::size_t count) const {
    if (offset >= size_) {
        return 0;
    }
    const std::size_t available = std::min<std::uint64_t>(count, size_ - offset);
    std::memcpy(buffer, data_ + offset, available);
    return available;
}

namespace {

/// Reads a ByteSource from front to back through a buffer.
class Cursor {
public:
    explicit Cursor(const ByteSource& bytes) : bytes_(bytes) {}

    /// The next byte, or -1 at the end.
    int Next() {
        if (index_ == filled_ && !Refill()) {
            return -1;
        }
        return buffer_[index_++];
    }

    /// Skips count bytes; false when the data ends first.
    bool Skip(std::uint64_t count) {
        const std::uint64_t buffered = filled_ - index_;
        if (count <= buffered) {
            index_ += static_cast<std::size_t>(count);
            return true;
        }
        const std::uint64_t target = Position() + count;
        start_ = target;
        index_ = filled_ = 0;
        return target <= bytes_.Size();
    }

    /// Reads a big-endian (or little-endian) number of size bytes; false at the end.
    bool Number(int size, bool bigEndian, std::uint32_t& value) {
        value = 0;
        for (int i = 0; i < size; ++i) {
            const int byte = Next();
            if (byte < 0) {
                return false;
            }
            value = bigEndian ? (value << 8) | static_cast<std::uint32_t>(byte)
                              : value | (static_cast<std::uint32_t>(byte) << (8 * i));
        }
        return true;
    }

    /// Moves past the next 0xFF byte; false when there is none.
    bool SkipToFF() {
        while (true) {
            if (index_ == filled_ && !Refill()) {
                return false;
            }
            const void* found = std::memchr(buffer_.data() + index_, 0xFF, filled_ - index_);
            if (found != nullptr) {
                index_ = static_cast<std::size_t>(static_cast<const unsigned char*>(found) -
                                                  buffer_.data()) +
                         1;
                return true;
            }
            index_ = filled_;
        }
    }

    std::uint64_t Position() const { return start_ + index_; }

private:
    bool Refill() {
        start_ += filled_;
        index_ = 0;
        filled_ =
            start_ < bytes_.Size() ? bytes_.ReadAt(start_, buffer_.data(), buffer_.size()) : 0;
        return filled_ > 0;
    }

    const ByteSource& bytes_;
    std::array<unsigned char, 65536> buffer_{};
    std::uint64_t start_ = 0;  ///< offset of buffer_[0]
    std::size_t index_ = 0;
    std::size_t filled_ = 0;
};

constexpr const char* kCutShort = "the file is cut short: ";

/// Follows the markers of a JPEG stream (after its start-of-image marker) to its end-of-image
/// marker, counting the start-of-scan markers on the way.
void ProbeJpeg(Cursor& cursor, ImageProbe& probe) {
    int marker = -1;  // a marker found at the end of entropy-coded data, not yet handled
    while (true) {
        if (marker < 0) {
            // Bytes that are not a marker are skipped, as the decoder skips them.
            if (!cursor.SkipToFF()) {
                probe.warning = std::string(kCutShort) + "it ends before its end-of-image marker";
                return;
            }
            do {
                marker = cursor.Next();
            } while (marker == 0xFF);
            if (marker < 0) {
                probe.warning = std::string(kCutShort) + "it ends before its end-of-image marker";
                return;
            }
        }
        const int current = marker;
        marker = -1;
        if (current == 0xD9) {
            return;
        }
        if (current == 0x00 || current == 0x01 || current == 0xD8 ||
            (current >= 0xD0 && current <= 0xD7)) {
            continue;  // no length follows
        }
        std::uint32_t length = 0;
        if (!cursor.Number(2, true, length) || length < 2) {
            probe.warning = std::string(kCutShort) + "it ends inside a marker segment";
            return;
        }
        // A frame header (SOF0 to SOF15, less DHT, JPG and DAC) gives the image's size.
        std::uint32_t read = 0;
        if (current >= 0xC0 && current <= 0xCF && current != 0xC4 && current != 0xC8 &&
            current != 0xCC && length >= 7) {
            std::uint32_t precision = 0;
            std::uint32_t height = 0;
            std::uint32_t width = 0;
            if (!cursor.Number(1, true, precision) || !cursor.Number(2, true, height) ||
                !cursor.Number(2, true, width)) {
                probe.warning = std::string(kCutShort) + "it ends inside a marker segment";
                return;
            }
            probe.frameWidth = std::max<std::uint64_t>(probe.frameWidth, width);
            probe.frameHeight = std::max<std::uint64_t>(probe.frameHeight, height);
            read = 5;
        }
        if (!cursor.Skip(length - 2 - read)) {
            probe.warning = std::string(kCutShort) + "it ends inside a marker segment";
            return;
        }
        if (current != 0xDA) {
            continue;
        }
        if (++probe.jpegScans > kMaxJpegScans) {
            probe.refusal = "a progressive JPEG of more than " + std::to_string(kMaxJpegScans) +
                            " scans, too many to decode";
            return;
        }
        // Entropy-coded data runs to the next marker other than a stuffed zero or a restart.
        while (true) {
            if (!cursor.SkipToFF()) {
                probe.warning = std::string(kCutShort) + "it ends inside its image data";
                return;
            }
            int next = cursor.Next();
            while (next == 0xFF) {
                next = cursor.Next();
            }
            if (next < 0) {
                probe.warning = std::string(kCutShort) + "it ends inside its image data";
                return;
            }
            if (next != 0x00 && !(next >= 0xD0 && next <= 0xD7)) {
                marker = next;
                break;
            }
        }
    }
}

/// Skips the data sub-blocks of a GIF block; false when the file ends first.
bool SkipGifSubBlocks(Cursor& cursor) {
    while (true) {
        const int size = cursor.Next();
        if (size < 0) {
            return false;
        }
        if (size == 0) {
            return true;
        }
        if (!cursor.Skip(static_cast<std::uint64_t>(size))) {
            return false;
        }
    }
}

/// Follows the blocks of a GIF file (after its six-byte signature) to the end of its first image.
void ProbeGif(Cursor& cursor, ImageProbe& probe) {
    std::uint32_t screenWidth = 0;
    std::uint32_t screenHeight = 0;
    std::uint32_t flags = 0;
    if (!cursor.Number(2, false, screenWidth) || !cursor.Number(2, false, screenHeight) ||
        !cursor.Number(1, false, flags) || !cursor.Skip(2)) {
        probe.warning = std::string(kCutShort) + "it ends inside its header";
        return;
    }
    if ((flags & 0x80) != 0 && !cursor.Skip(3u << ((flags & 7) + 1))) {
        probe.warning = std::string(kCutShort) + "it ends inside its colour table";
        return;
    }
    while (true) {
        const int block = cursor.Next();
        if (block == 0x21) {
            if (cursor.Next() < 0 || !SkipGifSubBlocks(cursor)) {
                probe.warning = std::string(kCutShort) + "it ends before its first image";
                return;
            }
        } else if (block == 0x2C) {
            std::uint32_t left = 0;
            std::uint32_t top = 0;
            std::uint32_t width = 0;
            std::uint32_t height = 0;
            std::uint32_t imageFlags = 0;
            if (!cursor.Number(2, false, left) || !cursor.Number(2, false, top) ||
                !cursor.Number(2, false, width) || !cursor.Number(2, false, height) ||
                !cursor.Number(1, false, imageFlags)) {
                probe.warning = std::string(kCutShort) + "it ends before its first image";
                return;
            }
            probe.frameWidth = std::max<std::uint64_t>(screenWidth, std::uint64_t{left} + width);
            probe.frameHeight = std::max<std::uint64_t>(screenHeight, std::uint64_t{top} + height);
            if ((imageFlags & 0x80) != 0 && !cursor.Skip(3u << ((imageFlags & 7) + 1))) {
                probe.warning = std::string(kCutShort) + "it ends inside its first image";
                return;
            }
            if (cursor.Next() < 0 || !SkipGifSubBlocks(cursor)) {
                probe.warning = std::string(kCutShort) + "it ends inside its first image";
            }
            return;
        } else if (block < 0) {
            probe.warning = std::string(kCutShort) + "it ends before its first image";
            return;
        } else {
            return;  // a trailer or an unknown block: the decoder judges the file
        }
    }
}

/// Compares the length of a BMP file (after its two-byte signature) with the pixel data its
/// header describes.
void ProbeBmp(Cursor& cursor, std::uint64_t fileSize, ImageProbe& probe) {
    std::uint32_t offset = 0;
    std::uint32_t headerSize = 0;
    if (!cursor.Skip(8) || !cursor.Number(4, false, offset) ||
        !cursor.Number(4, false, headerSize)) {
        probe.warning = std::string(kCutShort) + "it ends inside its header";
        return;
    }
    std::uint64_t width = 0;
    std::uint64_t height = 0;
    std::uint32_t bitsPerPixel = 0;
    std::uint32_t compression = 0;
    std::uint32_t imageSize = 0;
    if (headerSize == 12) {
        std::uint32_t w = 0;
        std::uint32_t h = 0;
        if (!cursor.Number(2, false, w) || !cursor.Number(2, false, h) || !cursor.Skip(2) ||
            !cursor.Number(2, false, bitsPerPixel)) {
            probe.warning = std::string(kCutShort) + "it ends inside its header";
            return;
        }
        width = w;
        height = h;
    } else if (headerSize >= 40) {
        std::uint32_t w = 0;
        std::uint32_t h = 0;
        if (!cursor.Number(4, false, w) || !cursor.Number(4, false, h) || !cursor.Skip(2) ||
            !cursor.Number(2, false, bitsPerPixel) || !cursor.Number(4, false, compression) ||
            !cursor.Number(4, false, imageSize)) {
            probe.warning = std::string(kCutShort) + "it ends inside its header";
            return;
        }
        // Both are signed: a negative height stores the rows top-down.
        const auto magnitude = [](std::uint32_t value) {
            const auto number = static_cast<std::int64_t>(static_cast<std::int32_t>(value));
            return static_cast<std::uint64_t>(number < 0 ? -number : number);
        };
        width = magnitude(w);
        height = magnitude(h);
    } else {
        return;
    }
    probe.frameWidth = width;
    probe.frameHeight = height;
    std::uint64_t needed = 0;
    if (compression == 0 || compression == 3 || compression == 6) {
        const std::uint64_t rowBytes = (width * bitsPerPixel + 31) / 32 * 4;
        needed = std::uint64_t{offset} + rowBytes * height;
    } else if ((compression == 1 || compression == 2) && imageSize != 0) {
        needed = std::uint64_t{offset} + imageSize;
    }
    if (needed > fileSize) {
        probe.warning = std::string(kCutShort) + "it holds " + std::to_string(fileSize) +
                        " of the " + std::to_string(needed) + " bytes its header describes";
    }
}

}  // namespace

ImageProbe ProbeImageBytes(const ByteSource& bytes) {
    ImageProbe probe;
    Cursor cursor(bytes);
    unsigned char signature[6] = {};
    const std::size_t got = bytes.ReadAt(0, signature, sizeof signature);
    if (got >= 3 && signature[0] == 0xFF && signature[1] == 0xD8 && signature[2] == 0xFF) {
        cursor.Skip(2);
        ProbeJpeg(cursor, probe);
    } else if (got == 6 && (std::memcmp(signature, "GIF87a", 6) == 0 ||
                            std::memcmp(signature, "GIF89a", 6) == 0)) {
        cursor.Skip(6);
        ProbeGif(cursor, probe);
    } else if (got >= 2 && signature[0] == 'B' && signature[1] == 'M') {
        cursor.Skip(2);
        ProbeBmp(cursor, bytes.Size(), probe);
    }
    return probe;
}

}  // namespace quarvel
