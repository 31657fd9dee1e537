#pragma once

// Image files that are damaged, forged, unusual or not files at all, made byte by byte by the
// tests themselves, with what loading each must give. Shared by the loader's tests and the
// command-line program's tests.

#include <sys/stat.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageWriter>

#include "support/TestFiles.h"

namespace quarvel::test {

/// What loading a corpus file must give.
enum class Expect {
    Loads,         ///< an image of the stated size (when given), without a warning
    LoadsDamaged,  ///< an image, with a warning that the file is damaged
    Refused,       ///< no image; the message starts with the stated reason
    Damaged,       ///< either an image with a warning or a refusal
    Either,        ///< an image or a refusal; corruption the decoder cannot see is allowed
};

/// How a corpus entry appears on disk.
enum class Entry { File, Folder, Fifo, Absent };

/// One file of the corpus.
struct CorpusFile {
    std::string label;  ///< short name for the test and the tally
    std::string group;  ///< the class the tally counts it in
    std::string name;   ///< the path below the test folder (may hold folders)
    Expect expect;
    std::string reason;                            ///< Refused: how the message starts
    std::uint32_t width = 0;                       ///< Loads: the expected width (0: not checked)
    std::uint32_t height = 0;                      ///< Loads: the expected height
    Entry entry = Entry::File;                     ///< what is made at name
    std::function<std::string()> bytes = nullptr;  ///< the file's contents (Entry::File)
};

/// The bytes of image encoded by Qt's writer for format.
inline std::string Encode(const QImage& image, const char* format, int quality = -1,
                          bool progressive = false) {
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (quality >= 0) {
        writer.setQuality(quality);
    }
    writer.setProgressiveScanWrite(progressive);
    writer.write(image);
    return data.toStdString();
}

/// A colour image with some structure: gradients and a few sharp edges.
inline QImage Photo(int width, int height, QImage::Format format = QImage::Format_RGB32) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int edge = ((x / 7) + (y / 5)) % 2 == 0 ? 40 : 0;
            image.setPixel(x, y,
                           qRgb((x * 255 / std::max(1, width - 1) + edge) % 256,
                                (y * 255 / std::max(1, height - 1)) % 256, (x * y + edge) % 256));
        }
    }
    return format == QImage::Format_RGB32 ? image : image.convertToFormat(format);
}

inline void PutBigEndian(std::string& bytes, std::size_t at, std::uint32_t value, int size) {
    for (int i = 0; i < size; ++i) {
        bytes[at + i] = static_cast<char>(value >> (8 * (size - 1 - i)));
    }
}
inline void PutLittleEndian(std::string& bytes, std::size_t at, std::uint32_t value, int size) {
    for (int i = 0; i < size; ++i) {
        bytes[at + i] = static_cast<char>(value >> (8 * i));
    }
}
inline std::string LittleEndian(std::uint32_t value, int size) {
    std::string bytes(static_cast<std::size_t>(size), '\0');
    PutLittleEndian(bytes, 0, value, size);
    return bytes;
}

inline std::uint32_t Crc32(const std::string& bytes) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const char c : bytes) {
        crc ^= static_cast<std::uint8_t>(c);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
    }
    return ~crc;
}

/// A valid tiny PNG whose header (with a correct checksum) claims width x height pixels.
inline std::string PngClaiming(std::uint32_t width, std::uint32_t height) {
    std::string png = Encode(Photo(2, 2), "png");
    // Signature (8), IHDR length (4), "IHDR" at 12, width at 16, height at 20, CRC at 29.
    PutBigEndian(png, 16, width, 4);
    PutBigEndian(png, 20, height, 4);
    PutBigEndian(png, 29, Crc32(png.substr(12, 17)), 4);
    return png;
}

/// A valid tiny BMP whose header claims width x height pixels.
inline std::string BmpClaiming(std::uint32_t width, std::uint32_t height) {
    std::string bmp = Encode(Photo(2, 2), "bmp");
    PutLittleEndian(bmp, 18, width, 4);
    PutLittleEndian(bmp, 22, height, 4);
    return bmp;
}

/// The offset of the first JPEG marker segment with this marker byte, or npos; the walk stops at
/// the start of the first scan.
inline std::size_t FindJpegSegment(const std::string& jpeg, unsigned char marker) {
    std::size_t at = 2;
    while (at + 4 <= jpeg.size() && static_cast<unsigned char>(jpeg[at]) == 0xFF) {
        const auto current = static_cast<unsigned char>(jpeg[at + 1]);
        if (current == marker) {
            return at;
        }
        if (current == 0xDA) {
            break;
        }
        const std::size_t length = (static_cast<unsigned char>(jpeg[at + 2]) << 8) |
                                   static_cast<unsigned char>(jpeg[at + 3]);
        at += 2 + length;
    }
    return std::string::npos;
}

/// A small JPEG whose frame header claims width x height pixels (each at most 65535).
inline std::string JpegClaiming(std::uint32_t width, std::uint32_t height) {
    std::string jpeg = Encode(Photo(16, 16), "jpeg");
    const std::size_t frame = FindJpegSegment(jpeg, 0xC0);
    PutBigEndian(jpeg, frame + 5, height, 2);
    PutBigEndian(jpeg, frame + 7, width, 2);
    return jpeg;
}

/// A JPEG whose one scan is repeated until there are scans start-of-scan segments, marked as
/// progressive.
inline std::string JpegWithScans(int scans) {
    const std::string jpeg = Encode(Photo(32, 32), "jpeg");
    std::string head = jpeg.substr(0, FindJpegSegment(jpeg, 0xDA));
    head[FindJpegSegment(jpeg, 0xC0) + 1] = static_cast<char>(0xC2);
    const std::string scan = jpeg.substr(head.size(), jpeg.size() - 2 - head.size());
    std::string out = head;
    for (int i = 0; i < scans; ++i) {
        out += scan;
    }
    return out + "\xFF\xD9";
}

/// A JPEG of width x height (the left half black, the right half white) with an Exif block
/// giving the orientation tag.
inline std::string JpegWithOrientation(int width, int height, std::uint8_t orientation) {
    QImage picture(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            picture.setPixel(x, y, x < width / 2 ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
        }
    }
    std::string jpeg = Encode(picture, "jpeg");
    // "Exif", a little-endian TIFF header and one IFD holding tag 0x0112 (SHORT, one value).
    std::string exif("Exif\0\0II*\0\x08\0\0\0\x01\0\x12\x01\x03\0\x01\0\0\0", 24);
    exif += static_cast<char>(orientation);
    exif += std::string(7, '\0');
    std::string segment = "\xFF\xE1";
    segment += static_cast<char>((exif.size() + 2) >> 8);
    segment += static_cast<char>((exif.size() + 2) & 0xFF);
    return jpeg.insert(2, segment + exif);
}

/// Appends the bits of code (count bits, most significant first) to a JPEG entropy stream.
class JpegBits {
public:
    void Put(std::uint32_t code, int count) {
        for (int i = count - 1; i >= 0; --i) {
            byte_ = static_cast<std::uint8_t>((byte_ << 1) | ((code >> i) & 1u));
            if (++filled_ == 8) {
                Flush();
            }
        }
    }
    /// Pads the last byte with ones and returns the stream, 0xFF bytes stuffed.
    std::string Finish() {
        while (filled_ != 0) {
            Put(1, 1);
        }
        return bytes_;
    }

private:
    void Flush() {
        bytes_ += static_cast<char>(byte_);
        if (byte_ == 0xFF) {
            bytes_ += '\0';
        }
        byte_ = 0;
        filled_ = 0;
    }
    std::string bytes_;
    std::uint8_t byte_ = 0;
    int filled_ = 0;
};

/// A baseline four-component (CMYK, Adobe marker) JPEG of width x height (multiples of 8) in
/// one flat colour: quantisation 1, every block only its DC coefficient.
inline std::string CmykJpeg(int width, int height, const std::uint8_t (&cmyk)[4]) {
    std::string out = "\xFF\xD8";
    out += std::string(
        "\xFF\xEE\x00\x0E"
        "Adobe\x00\x64\x00\x00\x00\x00\x00",
        16);
    out += std::string("\xFF\xDB\x00\x43\x00", 5) + std::string(64, '\x01');
    std::string frame("\xFF\xC0\x00\x14\x08", 5);
    frame += static_cast<char>(height >> 8);
    frame += static_cast<char>(height & 0xFF);
    frame += static_cast<char>(width >> 8);
    frame += static_cast<char>(width & 0xFF);
    frame += '\x04';
    for (char id = 1; id <= 4; ++id) {
        frame += std::string{id, '\x11', '\0'};
    }
    out += frame;
    // DC table: categories 0 to 11 as the 4-bit codes 0000 to 1011; AC table: end-of-block "0".
    std::string dc("\xFF\xC4\x00\x1F\x00", 5);
    std::string counts(16, '\0');
    counts[3] = 12;
    dc += counts;
    for (char category = 0; category < 12; ++category) {
        dc += category;
    }
    std::string ac("\xFF\xC4\x00\x14\x10", 5);
    std::string acCounts(16, '\0');
    acCounts[0] = 1;
    ac += acCounts + std::string(1, '\0');
    out += dc + ac;
    out += std::string("\xFF\xDA\x00\x0E\x04\x01\x00\x02\x00\x03\x00\x04\x00\x00\x3F\x00", 16);
    JpegBits bits;
    const int blocks = (width / 8) * (height / 8);
    for (int block = 0; block < blocks; ++block) {
        for (int c = 0; c < 4; ++c) {
            // The DC coefficient of a flat block is 8 times its level-shifted value; later blocks
            // repeat it, a difference of 0.
            const int value = block == 0 ? 8 * (static_cast<int>(cmyk[c]) - 128) : 0;
            const int magnitude = value < 0 ? -value : value;
            int category = 0;
            while ((magnitude >> category) != 0) {
                ++category;
            }
            bits.Put(static_cast<std::uint32_t>(category), 4);
            if (category > 0) {
                const int extra = value >= 0 ? value : value + (1 << category) - 1;
                bits.Put(static_cast<std::uint32_t>(extra), category);
            }
            bits.Put(0, 1);  // end of block
        }
    }
    return out + bits.Finish() + "\xFF\xD9";
}

/// Packs 3-bit LZW codes, least significant bit first, into GIF data sub-blocks.
inline std::string GifPixels(const std::vector<std::uint8_t>& indices) {
    std::string packed;
    std::uint32_t accumulator = 0;
    int filled = 0;
    const auto put = [&](std::uint32_t code) {
        accumulator |= code << filled;
        filled += 3;
        while (filled >= 8) {
            packed += static_cast<char>(accumulator & 0xFF);
            accumulator >>= 8;
            filled -= 8;
        }
    };
    // A clear code before every two pixels keeps the codes at three bits.
    for (std::size_t i = 0; i < indices.size(); ++i) {
        if (i % 2 == 0) {
            put(4);
        }
        put(indices[i]);
    }
    put(5);
    if (filled > 0) {
        packed += static_cast<char>(accumulator & 0xFF);
    }
    std::string blocks = "\x02";  // minimum code size
    for (std::size_t at = 0; at < packed.size(); at += 255) {
        const std::string chunk = packed.substr(at, 255);
        blocks += static_cast<char>(chunk.size());
        blocks += chunk;
    }
    return blocks + std::string(1, '\0');
}

/// A GIF image descriptor of width x height at the top left, without a colour table.
inline std::string ImageDescriptor(std::uint16_t width, std::uint16_t height) {
    std::string descriptor(10, '\0');
    descriptor[0] = '\x2C';
    PutLittleEndian(descriptor, 5, width, 2);
    PutLittleEndian(descriptor, 7, height, 2);
    return descriptor;
}

/// A looping animated GIF of width x height with one frame per entry of frames, frame k filled
/// with palette index frames[k] (0 black, 1 red, 2 green, 3 blue).
inline std::string AnimatedGif(std::uint16_t width, std::uint16_t height,
                               const std::vector<std::uint8_t>& frames) {
    std::string out = "GIF89a" + LittleEndian(width, 2) + LittleEndian(height, 2) +
                      std::string("\x81\x00\x00", 3);
    out += std::string("\x00\x00\x00\xFF\x00\x00\x00\xFF\x00\x00\x00\xFF", 12);
    out += std::string("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00", 19);
    for (const std::uint8_t index : frames) {
        out += std::string("\x21\xF9\x04\x00\x0A\x00\x00\x00", 8);
        out += ImageDescriptor(width, height);
        out += GifPixels(std::vector<std::uint8_t>(std::size_t{width} * height, index));
    }
    return out + "\x3B";
}

/// A GIF whose screen is 1 x 1 but whose one frame claims width x height pixels.
inline std::string GifWithLargeFrame(std::uint16_t width, std::uint16_t height) {
    std::string out =
        "GIF89a" + LittleEndian(1, 2) + LittleEndian(1, 2) + std::string("\x81\x00\x00", 3);
    out += std::string("\x00\x00\x00\xFF\x00\x00\x00\xFF\x00\x00\x00\xFF", 12);
    out += ImageDescriptor(width, height);
    out += GifPixels(std::vector<std::uint8_t>(64, 1));
    return out + "\x3B";
}

/// An uncompressed 8-bit grey TIFF of pages pages of width x height, page k filled with level
/// 40 + 60k; when looping, the last page's next-page link points back to the first.
inline std::string GreyTiff(int pages, std::uint16_t width, std::uint16_t height, bool looping) {
    std::string out = std::string("II*\0", 4) + LittleEndian(8, 4);
    const std::uint32_t pixels = std::uint32_t{width} * height;
    const std::uint32_t ifdSize = 2 + 9 * 12 + 4;
    for (int page = 0; page < pages; ++page) {
        const auto ifd = static_cast<std::uint32_t>(out.size());
        const std::uint32_t data = ifd + ifdSize;
        const std::uint32_t next = page + 1 < pages ? data + pixels : (looping ? 8u : 0u);
        const auto entry = [](std::uint16_t tag, std::uint16_t type, std::uint32_t value) {
            return LittleEndian(tag, 2) + LittleEndian(type, 2) + LittleEndian(1, 4) +
                   LittleEndian(value, 4);
        };
        out += LittleEndian(9, 2);
        out += entry(256, 3, width) + entry(257, 3, height) + entry(258, 3, 8) + entry(259, 3, 1) +
               entry(262, 3, 1) + entry(273, 4, data) + entry(277, 3, 1) + entry(278, 4, height) +
               entry(279, 4, pixels);
        out += LittleEndian(next, 4);
        out += std::string(pixels, static_cast<char>(40 + 60 * page));
    }
    return out;
}

/// An uncompressed one-strip TIFF of width x height pixels of samples samples of bits bits in
/// sampleFormat (1 unsigned, 3 floating point) whose pixel data are data, which the strip byte
/// count claims in full however long data is.
inline std::string SampleTiff(std::uint16_t width, std::uint16_t height, std::uint16_t bits,
                              std::uint16_t samples, std::uint16_t sampleFormat,
                              const std::string& data) {
    const std::uint32_t stripBytes = std::uint32_t{width} * height * samples * bits / 8;
    const std::uint32_t data0 = 8 + 2 + 10 * 12 + 4;
    const auto entry = [](std::uint16_t tag, std::uint16_t type, std::uint32_t value) {
        return LittleEndian(tag, 2) + LittleEndian(type, 2) + LittleEndian(1, 4) +
               LittleEndian(value, 4);
    };
    // BitsPerSample and SampleFormat give one value for every sample: in the entry itself for
    // one sample, as the next two shorts would not fit otherwise, so samples stays at most 2.
    const auto perSample = [&](std::uint16_t tag, std::uint16_t value) {
        return LittleEndian(tag, 2) + LittleEndian(3, 2) + LittleEndian(samples, 4) +
               LittleEndian(value, 2) + LittleEndian(samples > 1 ? value : 0, 2);
    };
    return std::string("II*\0", 4) + LittleEndian(8, 4) + LittleEndian(10, 2) +
           entry(256, 3, width) + entry(257, 3, height) + perSample(258, bits) + entry(259, 3, 1) +
           entry(262, 3, 1) + entry(273, 4, data0) + entry(277, 3, samples) +
           entry(278, 4, height) + entry(279, 4, stripBytes) + perSample(339, sampleFormat) +
           LittleEndian(0, 4) + data;
}

/// The bytes of count floats: a ramp from 0 to 1, with value at index at (when at < count).
inline std::string FloatSamples(std::size_t count, std::size_t at = SIZE_MAX, float value = 0.0f) {
    std::string bytes(4 * count, '\0');
    for (std::size_t i = 0; i < count; ++i) {
        const float sample = i == at ? value : static_cast<float>(i) / static_cast<float>(count);
        std::memcpy(bytes.data() + 4 * i, &sample, 4);
    }
    return bytes;
}

/// The first fraction of bytes.
inline std::string Cut(const std::string& bytes, double fraction) {
    return bytes.substr(0, static_cast<std::size_t>(static_cast<double>(bytes.size()) * fraction));
}

/// bytes with every byte from at for count bytes inverted.
inline std::string Flip(std::string bytes, std::size_t at, std::size_t count) {
    for (std::size_t i = at; i < at + count && i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>(~bytes[i]);
    }
    return bytes;
}

/// The offset of the first byte of the PNG chunk's data (after its length and type).
inline std::size_t PngChunkData(const std::string& png, const char* type) {
    return png.find(type) + 4;
}

/// The whole corpus.
inline const std::vector<CorpusFile>& HostileCorpus() {
    using E = Expect;
    static const std::vector<CorpusFile> corpus = [] {
        const std::string damaged = "damaged or truncated image data";
        const std::string tooLarge = "too large: ";
        std::vector<CorpusFile> files = {
            // Cut short and corrupted files of every format.
            {"JpegCutInHalf", "truncated", "half.jpg", E::LoadsDamaged, "", 0, 0, Entry::File,
             [] { return Cut(Encode(Photo(96, 64), "jpeg"), 0.5); }},
            {"JpegCutInItsHeader", "truncated", "header.jpg", E::Refused, damaged, 0, 0,
             Entry::File, [] { return Encode(Photo(96, 64), "jpeg").substr(0, 120); }},
            {"JpegWithoutEndMarker", "truncated", "noend.jpg", E::Damaged, "", 0, 0, Entry::File,
             [] {
                 const std::string jpeg = Encode(Photo(96, 64), "jpeg");
                 return jpeg.substr(0, jpeg.size() - 2);
             }},
            {"JpegScanDataInverted", "corrupt", "flipped.jpg", E::Damaged, "", 0, 0, Entry::File,
             [] {
                 const std::string jpeg = Encode(Photo(96, 64), "jpeg");
                 return Flip(jpeg, FindJpegSegment(jpeg, 0xDA) + 40, 64);
             }},
            {"PngCutInHalf", "truncated", "half.png", E::Refused, damaged, 0, 0, Entry::File,
             [] { return Cut(Encode(Photo(96, 64), "png"), 0.5); }},
            {"PngPixelDataInverted", "corrupt", "flipped.png", E::Refused, damaged, 0, 0,
             Entry::File,
             [] {
                 const std::string png = Encode(Photo(96, 64), "png");
                 return Flip(png, PngChunkData(png, "IDAT") + 20, 16);
             }},
            {"GifCutInItsFirstFrame", "truncated", "half.gif", E::Damaged, "", 0, 0, Entry::File,
             [] {
                 return Cut(AnimatedGif(40, 30, {1, 2}), 0.3);
             }},
            {"GifPixelDataInverted", "corrupt", "flipped.gif", E::Either, "", 0, 0, Entry::File,
             [] {
                 return Flip(AnimatedGif(40, 30, {1, 2}), 90, 40);
             }},
            {"BmpCutInHalf", "truncated", "half.bmp", E::LoadsDamaged, "", 0, 0, Entry::File,
             [] { return Cut(Encode(Photo(96, 64), "bmp"), 0.5); }},
            {"BmpHeaderInverted", "corrupt", "flipped.bmp", E::Either, "", 0, 0, Entry::File,
             [] { return Flip(Encode(Photo(96, 64), "bmp"), 26, 8); }},
            {"TiffCutInHalf", "truncated", "half.tif", E::Damaged, "", 0, 0, Entry::File,
             [] { return Cut(Encode(Photo(96, 64), "tiff"), 0.5); }},
            {"TiffDirectoryInverted", "corrupt", "flipped.tif", E::Either, "", 0, 0, Entry::File,
             [] { return Flip(GreyTiff(1, 32, 16, false), 8, 40); }},
            // Headers that claim more than the program takes.
            {"PngClaiming100000Square", "huge header", "huge.png", E::Refused,
             tooLarge + "100000 x 100000 pixels needs a transform of 131072 x 131072", 0, 0,
             Entry::File, [] { return PngClaiming(100000, 100000); }},
            {"PngClaiming70000Square", "huge header", "big.png", E::Refused,
             tooLarge + "70000 x 70000 pixels needs a transform of 131072 x 131072", 0, 0,
             Entry::File, [] { return PngClaiming(70000, 70000); }},
            {"BmpClaiming100000Square", "huge header", "huge.bmp", E::Refused,
             tooLarge + "100000 x 100000 pixels", 0, 0, Entry::File,
             [] { return BmpClaiming(100000, 100000); }},
            {"JpegClaiming65535Square", "huge header", "huge.jpg", E::Refused,
             tooLarge + "65535 x 65535 pixels needs ", 0, 0, Entry::File,
             [] { return JpegClaiming(65535, 65535); }},
            {"GifFrameLargerThanItsScreen", "huge header", "frame.gif", E::Refused,
             tooLarge + "65535 x 65535 pixels needs ", 0, 0, Entry::File,
             [] { return GifWithLargeFrame(65535, 65535); }},
            {"JpegOf150Scans", "scan limit", "scans.jpg", E::Refused,
             "a progressive JPEG of more than 100 scans", 0, 0, Entry::File,
             [] { return JpegWithScans(150); }},
            {"Png65536x1", "size limit", "wide.png", E::Loads, "", 65536, 1, Entry::File,
             [] { return Encode(Photo(65536, 1), "png"); }},
            {"Png65537x1", "size limit", "wider.png", E::Refused,
             tooLarge + "65537 x 1 pixels needs a transform of 131072 x 1 (at most 65536", 0, 0,
             Entry::File, [] { return Encode(Photo(65537, 1), "png"); }},
            {"Png1x65537", "size limit", "taller.png", E::Refused, tooLarge + "1 x 65537 pixels", 0,
             0, Entry::File, [] { return Encode(Photo(1, 65537), "png"); }},
            // Things that are not image files.
            {"ZeroBytes", "not an image", "empty.png", E::Refused, "empty file", 0, 0, Entry::File,
             [] { return std::string(); }},
            {"TextNamedJpeg", "not an image", "notes.jpg", E::Refused,
             "not an image file or unsupported format", 0, 0, Entry::File,
             [] { return std::string("Shopping list:\nmilk\nbread\n"); }},
            {"FolderNamedPng", "not an image", "folder.png", E::Refused,
             "not a regular file: it is a folder", 0, 0, Entry::Folder, nullptr},
            {"FifoNamedJpeg", "not an image", "pipe.jpg", E::Refused,
             "not a regular file: it is a pipe", 0, 0, Entry::Fifo, nullptr},
            {"Missing", "not an image", "missing.png", E::Refused, "file not found", 0, 0,
             Entry::Absent, nullptr},
            // Unusual but sound images.
            {"OneByOne", "sound", "dot.png", E::Loads, "", 1, 1, Entry::File,
             [] { return Encode(Photo(1, 1), "png"); }},
            {"OneByN", "sound", "column.png", E::Loads, "", 1, 300, Entry::File,
             [] { return Encode(Photo(1, 300), "png"); }},
            {"NByOne", "sound", "row.jpg", E::Loads, "", 300, 1, Entry::File,
             [] { return Encode(Photo(300, 1), "jpeg"); }},
            {"SixteenBitGrey", "sound", "grey16.png", E::Loads, "", 50, 40, Entry::File,
             [] { return Encode(Photo(50, 40, QImage::Format_Grayscale16), "png"); }},
            {"SixteenBitRgb", "sound", "rgb16.png", E::Loads, "", 50, 40, Entry::File,
             [] { return Encode(Photo(50, 40, QImage::Format_RGBX64), "png"); }},
            {"OneBit", "sound", "mono.png", E::Loads, "", 50, 40, Entry::File,
             [] { return Encode(Photo(50, 40, QImage::Format_Mono), "png"); }},
            {"Palette", "sound", "palette.bmp", E::Loads, "", 50, 40, Entry::File,
             [] { return Encode(Photo(50, 40, QImage::Format_Indexed8), "bmp"); }},
            {"Alpha", "sound", "alpha.png", E::Loads, "", 50, 40, Entry::File,
             [] { return Encode(Photo(50, 40, QImage::Format_ARGB32), "png"); }},
            {"CmykJpeg", "sound", "cmyk.jpg", E::Loads, "", 24, 16, Entry::File,
             [] {
                 return CmykJpeg(24, 16, {200, 100, 50, 20});
             }},
            {"ProgressiveJpeg", "sound", "progressive.jpg", E::Loads, "", 96, 64, Entry::File,
             [] { return Encode(Photo(96, 64), "jpeg", -1, true); }},
            {"ExifTurnedJpeg", "sound", "turned.jpg", E::Loads, "", 20, 40, Entry::File,
             [] { return JpegWithOrientation(40, 20, 6); }},
            {"AnimatedGif", "sound", "animated.gif", E::Loads, "", 40, 30, Entry::File,
             [] {
                 return AnimatedGif(40, 30, {1, 2, 3});
             }},
            {"MultiPageTiff", "sound", "pages.tif", E::Loads, "", 32, 16, Entry::File,
             [] { return GreyTiff(3, 32, 16, false); }},
            {"TiffPagesInALoop", "sound", "loop.tif", E::Loads, "", 32, 16, Entry::File,
             [] { return GreyTiff(2, 32, 16, true); }},
            // Samples of 16 bits and floating point.
            {"SixteenBitColourTiff", "deep", "colour16.tif", E::Loads, "", 50, 40, Entry::File,
             [] { return Encode(Photo(50, 40, QImage::Format_RGBX64), "tiff"); }},
            {"FloatTiff", "deep", "float.tif", E::Loads, "", 24, 16, Entry::File,
             [] { return SampleTiff(24, 16, 32, 1, 3, FloatSamples(24 * 16)); }},
            {"SixteenBitPngCutInHalf", "deep", "half16.png", E::Refused, damaged, 0, 0, Entry::File,
             [] { return Cut(Encode(Photo(96, 64, QImage::Format_RGBX64), "png"), 0.5); }},
            {"SixteenBitTiffStripCutShort", "deep", "cut16.tif", E::Damaged, "", 0, 0, Entry::File,
             [] { return SampleTiff(24, 16, 16, 1, 1, std::string(24 * 16, '\x40')); }},
            {"FloatTiffStripCutShort", "deep", "cutfloat.tif", E::Refused, damaged, 0, 0,
             Entry::File, [] { return SampleTiff(24, 16, 32, 1, 3, FloatSamples(24 * 7)); }},
            {"FloatTiffWithNaN", "deep", "nan.tif", E::Refused, "samples that are not numbers", 0,
             0, Entry::File,
             [] { return SampleTiff(24, 16, 32, 1, 3, FloatSamples(24 * 16, 100, NAN)); }},
            {"FloatTiffWithInfinity", "deep", "infinity.tif", E::Refused,
             "samples that are not numbers", 0, 0, Entry::File,
             [] { return SampleTiff(24, 16, 32, 1, 3, FloatSamples(24 * 16, 7, -INFINITY)); }},
            {"FloatTiffHugeSample", "deep", "huge.tif", E::Refused, "samples too large", 0, 0,
             Entry::File,
             [] { return SampleTiff(24, 16, 32, 1, 3, FloatSamples(24 * 16, 5, 3e37f)); }},
            {"DoubleTiff", "deep", "double.tif", E::Refused, "64-bit floating-point TIFF", 0, 0,
             Entry::File, [] { return SampleTiff(8, 4, 64, 1, 3, std::string(8 * 4 * 8, '\0')); }},
            {"TwoSampleFloatTiff", "deep", "twosample.tif", E::Refused,
             "floating-point TIFF with 2 samples", 0, 0, Entry::File,
             [] { return SampleTiff(8, 4, 32, 2, 3, FloatSamples(8 * 4 * 2)); }},
            {"JpegOf100Scans", "scan limit", "scans100.jpg", E::Either, "", 0, 0, Entry::File,
             [] { return JpegWithScans(100); }},
            // Paths.
            {"NonAsciiName", "paths",
             "\xC3\x9C"
             "bersicht \xE7\x94\xBB\xE5\x83\x8F.png",
             E::Loads, "", 20, 10, Entry::File, [] { return Encode(Photo(20, 10), "png"); }},
            {"LeadingDash", "paths", "-rf.png", E::Loads, "", 20, 10, Entry::File,
             [] { return Encode(Photo(20, 10), "png"); }},
            {"LongPath", "paths",
             std::string(200, 'a') + "/" + std::string(200, 'b') + "/" + std::string(200, 'c') +
                 "/" + std::string(200, 'd') + "/" + std::string(220, 'e') + ".png",
             E::Loads, "", 20, 10, Entry::File, [] { return Encode(Photo(20, 10), "png"); }},
            {"NameLongerThanTheSystemAllows", "paths", std::string(300, 'n') + ".png", E::Refused,
             "the file name is too long", 0, 0, Entry::Absent, nullptr},
        };
        return files;
    }();
    return corpus;
}

/// Makes the corpus entry below folder.
inline void MakeCorpusEntry(const std::filesystem::path& folder, const CorpusFile& file) {
    const std::filesystem::path path = folder / file.name;
    switch (file.entry) {
        case Entry::File:
            std::filesystem::create_directories(path.parent_path());
            WriteBytes(path, file.bytes());
            break;
        case Entry::Folder:
            std::filesystem::create_directories(path);
            break;
        case Entry::Fifo:
            ::mkfifo(path.c_str(), 0600);
            break;
        case Entry::Absent:
            break;
    }
}

/// Every regular file below folder with its contents.
inline std::map<std::string, std::string> FolderContents(const std::filesystem::path& folder) {
    std::map<std::string, std::string> contents;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        contents[entry.path().string()] = entry.is_regular_file() ? ReadBytes(entry.path()) : "";
    }
    return contents;
}

}  // namespace quarvel::test
