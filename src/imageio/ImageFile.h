#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "engine/ImageBitmap.h"

namespace quarvel {

/// The outcome of a load or a save. A failure carries a reason a person can read; a load that
/// succeeded on a damaged file carries a warning.
struct IoResult {
    bool ok = false;
    std::string message;  ///< why it failed (empty on success)
    std::string warning;  ///< what the decoder complained of, when the image loaded anyway

    explicit operator bool() const { return ok; }
    static IoResult Success() { return IoResult{true, {}, {}}; }
    static IoResult Failure(std::string reason) { return IoResult{false, std::move(reason), {}}; }
};

/// Bounds applied to an image before its pixels are decoded.
struct LoadLimits {
    /// The memory an image may need for its pixels and one processing state (spectra and power
    /// spectrum images) together; 0 means a share of the physical memory.
    std::uint64_t maxMemoryBytes = 0;
};

/// Decodes the image file at path into slot, as a deep copy in the engine's formats: colour
/// images as PixelFormat32bppRGB, single-channel images (grey, palette, 1 to 8 bits) as
/// PixelFormat8bppIndexed with their palette. The slot is emptied first; on failure it stays
/// empty and the result says why.
IoResult LoadImageFile(std::unique_ptr<ImageBitmap>& slot, const std::filesystem::path& path,
                       const LoadLimits& limits = {});

/// The identifier of an image encoder.
struct EncoderId {
    std::string format;  ///< the writer's format name, for example "jpeg"
};

/// Index of the first encoder whose MIME type equals mime exactly (case-sensitive), with its
/// identifier stored in *encoder when encoder is not null; -1 when there is none.
int FindEncoderByMime(const std::string& mime, EncoderId* encoder);

/// How SaveImageFile encodes.
struct SaveOptions {
    std::string mime = "image/jpeg";  ///< the encoder; the file name's extension plays no part
    int quality = -1;                 ///< 0 to 100 for lossy encoders; -1 for the default
};

/// Writes image to path with the chosen encoder (JPEG unless told otherwise). The data goes to
/// a temporary file beside the target that replaces it only when complete, so a failed save
/// never damages an existing file.
IoResult SaveImageFile(const ImageBitmap& image, const std::filesystem::path& path,
                       const SaveOptions& options = {});

}  // namespace quarvel
