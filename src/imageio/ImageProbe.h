#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace quarvel {

/// The bytes of an image file, read at any offset: an open file or a block of memory.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    /// The number of bytes.
    virtual std::uint64_t Size() const = 0;
    /// Copies up to count bytes from offset into buffer; the number copied (less at the end, 0 on
    /// a read error).
    virtual std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) const = 0;
};

/// The bytes of an open file descriptor (not owned), read with pread.
class FileBytes final : public ByteSource {
public:
    FileBytes(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
    std::uint64_t Size() const override { return size_; }
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) const override;

private:
    int fd_;
    std::uint64_t size_;
};

/// Bytes held in memory (not owned).
class MemoryBytes final : public ByteSource {
public:
    MemoryBytes(const void* data, std::size_t size)
        : data_(static_cast<const unsigned char*>(data)), size_(size) {}
    std::uint64_t Size() const override { return size_; }
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) const override;

private:
    const unsigned char* data_;
    std::size_t size_;
};

/// The most scans a progressive JPEG may have. The decoder reads every scan over the whole
/// image again, so a file of thousands of tiny scans would keep it busy for a very long time.
inline constexpr std::uint64_t kMaxJpegScans = 100;

/// What a look at the raw bytes of a file found before any pixel is decoded.
struct ImageProbe {
    std::string refusal;  ///< why the file must not be decoded; empty when it may be
    std::string warning;  ///< damage the decoder would pass over in silence; empty when none
    /// The size the file's structure declares (a JPEG frame header, a BMP header, the larger of
    /// a GIF's screen and first frame), for a check before the decoder's own look; 0 when not
    /// known.
    std::uint64_t frameWidth = 0;
    std::uint64_t frameHeight = 0;
    std::uint64_t jpegScans = 0;  ///< start-of-scan markers counted in a JPEG stream
};

/// Walks the structure of a JPEG, GIF or BMP file: counts the scans of a JPEG (refusing more than
/// kMaxJpegScans) and notices a JPEG that ends before its end-of-image marker, a GIF that ends
/// inside its first image and a BMP shorter than its pixel data. Other formats pass unexamined.
ImageProbe ProbeImageBytes(const ByteSource& bytes);

}  // namespace quarvel
