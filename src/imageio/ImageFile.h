#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "engine/ImageBitmap.h"
#include "imageio/MemoryBudget.h"

namespace quarvel {

/// The outcome of a load or a save. A failure carries a reason a person can read; a load that
/// succeeded on a damaged file carries a warning, and so does a save that could not keep the
/// image's depth.
struct IoResult {
    bool ok = false;
    std::string message;  ///< why it failed (empty on success)
    /// what the decoder complained of, when the image loaded anyway; on a save, that the file
    /// holds fewer bits a sample than the image
    std::string warning;

    explicit operator bool() const { return ok; }
    static IoResult Success() { return IoResult{true, {}, {}}; }
    static IoResult Failure(std::string reason) { return IoResult{false, std::move(reason), {}}; }
};

/// Bounds applied to an image before its pixels are decoded.
struct LoadLimits {
    /// The memory the image's processing may need at its peak (EstimatedImageMemory of work); 0
    /// means the process's budget (SetMemoryBudget).
    std::uint64_t maxMemoryBytes = 0;
    /// What the image is loaded for, which decides its estimated memory.
    ImageWork work = ImageWork::Document;
    /// The size it is transformed at, which the estimate and the largest side follow.
    TransformSize transformSize = TransformSize::PowerOfTwo;
};

/// Decodes the image file at path into slot, as a deep copy in the engine's formats: colour
/// images as PixelFormat32bppRGB, single-channel images (grey, palette, 1 to 8 bits) as
/// PixelFormat8bppIndexed with their palette; at full precision 16-bit grey and colour PNG and
/// TIFF files as PixelFormat16bppGrayScale and PixelFormat48bppRGB (alpha ignored), and TIFF
/// files of 32-bit floating-point grey samples as PixelFormat32bppGrayFloat. The slot is emptied
/// first; on failure it stays empty and the result says why.
///
/// Before any pixel is decoded the file must be a regular file (folders, FIFOs and devices are
/// refused without being read), the size in its header must fit kMaxTransformSide on both axes and
/// its estimated memory (EstimatedImageMemory for limits.work) the budget, and a progressive JPEG
/// may have at most 100 scans. An animated or multi-page file gives its first frame. A file whose
/// decoder reports failure is refused even when it left an image behind; a JPEG, GIF or BMP file
/// cut short in its pixel data, which the decoder fills in and passes, loads with a warning saying
/// so. A floating-point TIFF file is refused when a sample is not a finite number or so large
/// that the spectrum would overflow in single precision (a magnitude beyond 1e18 divided by the
/// elements of the power-of-two transform), and when its strips or tiles are damaged or missing.
IoResult LoadImageFile(std::unique_ptr<ImageBitmap>& slot, const std::filesystem::path& path,
                       const LoadLimits& limits = {});

/// The memory the image file at path would need for limits.work at limits.transformSize
/// (EstimatedImageMemory), from the size and layout its header declares; no pixel is decoded.
/// 0 when the file is not a readable regular file or its header declares no size: its load
/// then says why, or finds the size.
std::uint64_t EstimatedFileMemory(const std::filesystem::path& path, const LoadLimits& limits);

/// LoadImageFile for the bytes of an image file held in memory.
IoResult LoadImageData(std::unique_ptr<ImageBitmap>& slot, const void* data, std::size_t size,
                       const LoadLimits& limits = {});

/// The identifier of an image encoder.
struct EncoderId {
    std::string format;  ///< the writer's format name, for example "jpeg"
};

/// Index of the first encoder whose MIME type equals mime exactly (case-sensitive), with its
/// identifier stored in *encoder when encoder is not null; -1 when there is none.
int FindEncoderByMime(const std::string& mime, EncoderId* encoder);

/// The MIME type of the image format a file name asks for, told by its extension in any case:
/// ".jpg" and ".jpeg" JPEG, ".png" PNG, ".tif" and ".tiff" TIFF, ".bmp" BMP, ".webp" WebP. Any
/// other name (none, or an extension of another kind) gets JPEG.
std::string MimeForFileName(const std::filesystem::path& path);

/// Whether the name's extension is one MimeForFileName knows (rather than JPEG by default).
bool HasImageExtension(const std::filesystem::path& path);

/// The usual extension, with its dot, of the formats MimeForFileName gives: ".jpg", ".png",
/// ".tif", ".bmp", ".webp"; empty for any other MIME type.
std::string ExtensionForMime(const std::string& mime);

/// Whether an encoder of this MIME type takes a quality (JPEG and WebP).
bool IsLossyMime(const std::string& mime);

/// How SaveImageFile encodes.
struct SaveOptions {
    /// The encoder's MIME type ("image/png"); empty to follow the file name (MimeForFileName).
    std::string mime;
    /// 0 to 100, or -1 for the encoder's default. JPEG and WebP take it as the quality; the PNG
    /// encoder as the inverse of its compression effort (the pixels are the same at any value).
    int quality = -1;
};

/// Writes image to path with the chosen encoder, by default the one the name's extension asks
/// for (JPEG when it names none). PNG and TIFF files keep 16-bit samples, TIFF files floating-
/// point ones too; otherwise the file gets 8 bits (or a PNG file 16 bits) a sample as
/// ReduceTo8Bits and FloatTo16Bits make them, and the result's warning says so. The image is
/// encoded in memory and written through WriteFileReplacing, so a failed save, at any size and at
/// any step down to the disk, leaves an existing file as it was and no temporary file behind.
IoResult SaveImageFile(const ImageBitmap& image, const std::filesystem::path& path,
                       const SaveOptions& options = {});

}  // namespace quarvel
