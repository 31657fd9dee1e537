// Bytes of an image file -> load -> spectra -> an edit, a filter and the final image -> JPEG in
// memory (and, for 16-bit and floating-point images, a PNG or TIFF file at their own depth),
// everything an opened image goes through. Every input must end in a clean refusal or a
// complete result; the sanitizers report everything else.

#include <unistd.h>

#include <cfloat>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <QBuffer>
#include <QByteArray>
#include <QCoreApplication>
#include <QImage>
#include <QImageWriter>

#include "engine/DeepImage.h"
#include "engine/ImageBitmap.h"
#include "history/CFFTProc.h"
#include "imageio/FloatTiffFile.h"
#include "imageio/ImageFile.h"
#include "imageio/QtBitmap.h"
#include "selection/VXRegion.h"

namespace {

using quarvel::CFFTProc;

/// Larger images are loaded but not transformed, so that every input runs in milliseconds.
constexpr std::uint64_t kMaxTransformPixels = 256 * 256;
/// The loading budget: headers that claim more are refused before decoding.
constexpr std::uint64_t kLoadBudgetBytes = 64u << 20;

class FuzzProc final : public CFFTProc {
public:
    void UpdateViews(int) override {}
};

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "image pipeline: %s\n", what);
        std::abort();
    }
}

/// A file of this process in the memory file system, rewritten for every input.
const std::filesystem::path& InputPath() {
    static const std::filesystem::path path = [] {
        std::filesystem::path folder = "/dev/shm";
        if (!std::filesystem::is_directory(folder)) {
            folder = std::filesystem::temp_directory_path();
        }
        return folder / ("quarvel-fuzz-" + std::to_string(::getpid()) + ".img");
    }();
    return path;
}

/// A small value picked from the input's bytes, so that one input always takes the same steps.
std::uint32_t Pick(const std::uint8_t* data, std::size_t size, std::size_t from) {
    std::uint32_t value = 2166136261u;
    for (std::size_t i = from; i < size; i += 97) {
        value = (value ^ data[i]) * 16777619u;
    }
    return value;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // Qt's image plugins are found through the application object; it lives as long as the
    // process.
    static QCoreApplication application(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    {
        std::ofstream file(InputPath(), std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        Check(file.good(), "cannot write the input file");
    }

    FuzzProc proc;
    quarvel::LoadLimits limits;
    limits.maxMemoryBytes = kLoadBudgetBytes;
    const quarvel::IoResult result =
        quarvel::LoadImageFile(proc.originalImage, InputPath(), limits);
    if (!result) {
        Check(proc.originalImage == nullptr, "a refused load left an image behind");
        Check(!result.message.empty(), "a refused load gave no reason");
        return 0;
    }
    Check(proc.originalImage != nullptr, "a successful load gave no image");
    const quarvel::ImageBitmap& original = *proc.originalImage;
    Check(original.Width() > 0 && original.Height() > 0, "an empty image loaded");
    Check(original.Format() == quarvel::PixelFormat32bppRGB ||
              original.Format() == quarvel::PixelFormat8bppIndexed ||
              original.Format() == quarvel::PixelFormat16bppGrayScale ||
              original.Format() == quarvel::PixelFormat48bppRGB ||
              original.Format() == quarvel::PixelFormat32bppGrayFloat,
          "a loaded image is not in an engine format");
    // Floating-point samples that are not finite never get past the loader.
    Check(quarvel::FloatSamplesWithin(original, FLT_MAX), "a loaded image holds NaN or infinity");
    const std::uint64_t width = original.Width();
    const std::uint64_t height = original.Height();
    if (width * height > kMaxTransformPixels) {
        return 0;
    }

    Check(proc.StartHistory(), "no spectra for a small image");
    Check(proc.states.size() == 1 && proc.CurrentState()->image != nullptr,
          "the first state is incomplete");

    // An edit, a filter and the final image, each sized from the input.
    const std::uint32_t pick = Pick(data, size, 0);
    const auto x = static_cast<std::uint32_t>(pick % proc.spectrumWidth);
    const auto y = static_cast<std::int32_t>((pick >> 8) % proc.spectrumHeight);
    proc.StampBrush(quarvel::ChannelKind::Red, x, y, (pick >> 16) % 9);
    quarvel::VXRegion region;
    region.Init(static_cast<std::int32_t>(proc.spectrumWidth),
                static_cast<std::int32_t>(proc.spectrumHeight));
    region.SetEllipse(static_cast<std::int32_t>(x), y, 1 + static_cast<std::int32_t>(pick % 13),
                      1 + static_cast<std::int32_t>((pick >> 4) % 11));
    if (pick & 0x100000u) {
        region.Invert();
    }
    proc.ClearSelection(quarvel::ChannelKind::Green, region);
    proc.filterSettings.oneDimensional = (pick & 0x200000u) != 0;
    proc.filterSettings.degree = 1 + static_cast<std::int32_t>((pick >> 22) % 6);
    proc.filterSettings.cutOff = 1 + static_cast<std::int32_t>((pick >> 12) % 99);
    proc.filterSettings.direction = (pick >> 26) % 3;
    proc.BuildFilter((pick & 0x80000000u) ? quarvel::FilterKind::BandReject
                                          : quarvel::FilterKind::LowPass);
    proc.ApplyFilter(true, (pick & 1u) != 0, true);
    proc.CreateFinalImage();
    Check(proc.states.size() == 2 && proc.workingState == nullptr, "no final image");
    const quarvel::ImageBitmap& final = *proc.CurrentState()->image;
    Check(final.Width() == width && final.Height() == height && final.Format() == original.Format(),
          "the final image differs from the loaded one in size or format");

    const QImage image = quarvel::ToQImage(final);
    Check(!image.isNull(), "the final image has no QImage");
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    Check(writer.write(image), "the final image cannot be encoded as JPEG");
    Check(bytes.size() > 0, "an empty JPEG");

    // At its own depth: 16-bit samples through Qt's PNG writer, floating point through libtiff.
    if (final.Format() == quarvel::PixelFormat32bppGrayFloat) {
        Check(quarvel::FloatSamplesWithin(final, FLT_MAX), "the final image holds NaN or infinity");
        std::vector<char> tiff;
        Check(quarvel::EncodeFloatTiff(final, tiff).empty() && !tiff.empty(),
              "the final image cannot be encoded as a floating-point TIFF");
    } else if (quarvel::DepthOf(final.Format()) == quarvel::SampleDepth::Bits16) {
        const QImage deep = quarvel::ViewAsQImage(final);
        Check(!deep.isNull(), "the 16-bit final image has no QImage");
        QByteArray png;
        QBuffer pngBuffer(&png);
        pngBuffer.open(QIODevice::WriteOnly);
        QImageWriter pngWriter(&pngBuffer, "png");
        Check(pngWriter.write(deep) && png.size() > 0, "the final image cannot be encoded as PNG");
    }
    return 0;
}
