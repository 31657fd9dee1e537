#include "imageio/MemoryBudget.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <optional>
#include <utility>
#include <vector>

#include <tbb/task_arena.h>

#include <QGuiApplication>
#include <QScreen>

#include "engine/CExactFFT.h"
#include "engine/FastKernels.h"
#include "engine/LargeBlocks.h"
#include "engine/PlaneConversion.h"

namespace quarvel {

namespace {

constexpr double kMebibyte = 1024.0 * 1024.0;
/// The page and step sizes of LargeBlocks: from kHugeBlockBytes on, blocks are whole large
/// pages; below, whole steps.
constexpr double kLargePageBytes = 2.0 * kMebibyte;
constexpr double kHugeBlockBytes = 2.0 * kLargePageBytes;
constexpr double kSmallStepBytes = 64.0 * 1024.0;
/// Heap blocks from this size on are mapped of their own by the C library, however far its
/// threshold has moved, and unmapped when freed.
constexpr double kHeapMappedBytes = 32.0 * kMebibyte;
/// A deflate stream's state with a 32 KiB window and the default memory level, with its row.
constexpr double kDeflateStateBytes = 320.0 * 1024.0;

double RoundUp(double bytes, double multiple) {
    return std::ceil(bytes / multiple) * multiple;
}

/// The budget set for the process; 0 for the default share.
std::atomic<std::uint64_t> memoryBudget{0};

/// A number read from a control-group file, or 0 when there is none or it means "no limit".
std::uint64_t ControlGroupLimit(const char* file) {
    std::FILE* stream = std::fopen(file, "re");
    if (stream == nullptr) {
        return 0;
    }
    unsigned long long value = 0;
    const int read = std::fscanf(stream, "%llu", &value);
    std::fclose(stream);
    // "max", or a value near the largest one, means no limit.
    return read == 1 && value < (std::uint64_t{1} << 60) ? value : 0;
}

/// The resident memory of one image's processing, followed allocation by allocation in the
/// order the code makes them.
///
/// Requests of kLargeBlockBytes and more behave as LargeBlocks serves them: rounded up (to
/// 2 MiB from 4 MiB on, else to 64 KiB), kept once released (up to LargeBlockCacheLimit, the
/// oldest going back to the system first) and given again for a request they fit without
/// wasting more than half of it. A block is resident once written, and stays so when kept; a
/// block only reserved (Reserve) costs nothing until it is handed out again as a written one.
/// Smaller requests and Qt's own buffers come from the C heap: what is freed there stays resident
/// for later requests, except blocks of kHeapMappedBytes and more, which the C library maps of
/// their own and unmaps when they are freed. Sizes are doubles, so that absurd image sizes saturate
/// instead of wrapping.
class MemoryModel {
public:
    using Id = std::size_t;

    /// Memory from the engine's allocators (ImageBitmap, AllocatePlane, AllocateBytePlane),
    /// written as it is made.
    Id Take(double bytes) { return Large(bytes, true); }

    /// A large block that is made but not written yet (an image whose pixels come later);
    /// a kept block given for it is zeroed, and so written, all the same.
    Id Reserve(double bytes) { return Large(bytes, false); }

    /// The pixels of the block id given back to the system while the block stays in use.
    void Discard(Id id) {
        Entry& entry = entries_[id];
        if (entry.pooled && entry.resident) {
            entry.resident = false;
            resident_ -= entry.size;
        }
    }

    /// Memory from the C heap, whatever its size (Qt's images and byte arrays, codec buffers).
    Id TakeHeap(double bytes) {
        if (bytes >= kHeapMappedBytes) {
            heapMapped_ += bytes;
        } else {
            heapLive_ += bytes;
            heapResident_ = std::max(heapResident_, heapLive_);
        }
        return Add(Entry{bytes, false, true});
    }

    void Give(Id id) {
        const Entry entry = entries_[id];
        entries_[id].size = 0.0;
        if (entry.pooled) {
            kept_.push_back(Kept{entry.size, entry.resident});
            keptBytes_ += entry.size;
            while (keptBytes_ > CacheLimit()) {
                keptBytes_ -= kept_.front().size;
                if (kept_.front().resident) {
                    resident_ -= kept_.front().size;
                }
                kept_.erase(kept_.begin());
            }
        } else if (entry.size >= kHeapMappedBytes) {
            heapMapped_ -= entry.size;
        } else {
            heapLive_ -= entry.size;
        }
    }

    /// Heap memory freed as soon as it was used.
    void PassHeap(double bytes) { Give(TakeHeap(bytes)); }

    /// Heap memory that stays resident and reuses nothing freed before: many small pieces,
    /// made among others that were freed in between.
    void Grow(double bytes) {
        grown_ += bytes;
        Add(Entry{0.0, false, false});
    }

    /// The highest resident memory so far.
    double Peak() const { return peak_; }

private:
    struct Entry {
        double size;
        bool pooled;
        bool resident;
    };
    struct Kept {
        double size;
        bool resident;
    };

    Id Large(double bytes, bool written) {
        if (bytes < static_cast<double>(kLargeBlockBytes)) {
            return TakeHeap(bytes);
        }
        const double size =
            RoundUp(bytes, bytes >= kHugeBlockBytes ? kLargePageBytes : kSmallStepBytes);
        largest_ = std::max(largest_, size);
        std::size_t best = kept_.size();
        for (std::size_t i = 0; i < kept_.size(); ++i) {
            if (kept_[i].size >= size && kept_[i].size <= size + size / 2 &&
                (best == kept_.size() || kept_[i].size < kept_[best].size)) {
                best = i;
            }
        }
        Entry entry{size, true, written};
        if (best != kept_.size()) {
            // A kept block is handed out zeroed or written: resident either way.
            entry.size = kept_[best].size;
            entry.resident = true;
            keptBytes_ -= entry.size;
            if (!kept_[best].resident) {
                resident_ += entry.size;
            }
            kept_.erase(kept_.begin() + static_cast<std::ptrdiff_t>(best));
        } else if (written) {
            resident_ += size;
        }
        return Add(entry);
    }

    /// LargeBlockCacheLimit of the largest block so far (three of them beyond any real size).
    double CacheLimit() const {
        return largest_ < 1e18
                   ? static_cast<double>(LargeBlockCacheLimit(static_cast<std::size_t>(largest_)))
                   : 3.0 * largest_;
    }

    Id Add(const Entry& entry) {
        entries_.push_back(entry);
        peak_ = std::max(peak_, resident_ + heapResident_ + heapMapped_ + grown_);
        return entries_.size() - 1;
    }

    std::vector<Entry> entries_;
    std::vector<Kept> kept_;  ///< released large blocks, oldest first
    double keptBytes_ = 0.0;
    double largest_ = 0.0;       ///< the largest large block handed out
    double resident_ = 0.0;      ///< resident large blocks in use or kept
    double heapLive_ = 0.0;      ///< heap memory in use, below kHeapMappedBytes a block
    double heapResident_ = 0.0;  ///< the most heapLive_ ever was
    double heapMapped_ = 0.0;    ///< heap blocks of kHeapMappedBytes and more in use
    double grown_ = 0.0;         ///< see Grow
    double peak_ = 0.0;
};

/// The bytes of a 32-bit image of the primary screen in its device pixels; of a full HD screen
/// when the process shows no windows.
double ScreenBytes() {
    double pixels = 1920.0 * 1080.0;
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr) {
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            const double ratio = screen->devicePixelRatio();
            pixels = screen->size().width() * ratio * screen->size().height() * ratio;
        }
    }
    return 4.0 * pixels;
}

/// The bytes of everything the processing of one image makes, in the layouts the code gives them.
struct WorkSizes {
    WorkSizes(std::uint64_t width, std::uint64_t height, bool isGrey, TransformSize size,
              SampleDepth sampleDepth)
        : imageWidth(width),
          imageHeight(height),
          transform(size),
          depth(sampleDepth),
          grey(isGrey),
          channels(isGrey ? 1 : 3) {
        const double w = static_cast<double>(width);
        const double h = static_cast<double>(height);
        const std::uint64_t transformWidth = SpectrumSize(width, size);
        const std::uint64_t transformHeight = SpectrumSize(height, size);
        const double w2 = static_cast<double>(transformWidth);
        const double h2 = static_cast<double>(transformHeight);
        const double elements = w2 * h2;
        // Rows of 4 bytes a pixel, or of one byte padded to a multiple of 4; 16-bit images hold
        // 2 bytes a grey pixel and 6 a colour one, floating-point ones 4 a grey pixel.
        const double sampleBytes = depth == SampleDepth::Bits8    ? 1.0
                                   : depth == SampleDepth::Bits16 ? 2.0
                                                                  : 4.0;
        const auto bitmap = [grey = isGrey, sampleBytes](double columns, double rows) {
            if (sampleBytes == 1.0) {
                return (grey ? RoundUp(columns, 4.0) : 4.0 * columns) * rows;
            }
            return RoundUp((grey ? 1.0 : 3.0) * sampleBytes * columns, 4.0) * rows;
        };
        image = bitmap(w, h);
        workImage = bitmap(w2, h2);
        // Wider samples are gathered into a float plane for the transform.
        bytePlane = sampleBytes == 1.0 ? elements : 4.0 * elements;
        plane = 4.0 * elements;
        power = RoundUp(w2, 4.0) * h2;
        // A PNG file of the grey power image: its rows with a filter byte each, with the room
        // deflate may need beyond them.
        powerFile = 1.01 * (w2 + 1.0) * h2 + 65536.0;
        // The final image encoded: at worst its pixels uncompressed, three samples for colour;
        // the 8-bit copy (or 16-bit one, or the copy the TIFF writer converts) a wider image is
        // encoded from is counted in its place as well.
        imageFile = (grey ? 1.0 : 3.0) * sampleBytes * RoundUp(w, 4.0) * h + 65536.0;
        if (sampleBytes != 1.0) {
            imageFile += 2.0 * image;
        }
        // Qt's JPEG reader and the decoder keep a few rows of pixels.
        decoderRows = 64.0 * 4.0 * w;
        // The lanes have room for 64 sequences of the longest side, but a thread only touches
        // (and so makes resident) what its blocks fill: 64 columns of the transform's height,
        // or a few rows (at most 16) of its width. Sides past any transform the loader accepts
        // only need to saturate the estimate.
        const std::uint64_t filled = std::min<std::uint64_t>(
            std::max(SpectrumSize(height), SpectrumSize(width) / 4), std::uint64_t{1} << 32);
        scratch = 4.0 * static_cast<double>(2 * FftLaneFloats(filled) + FftLocalFloats() +
                                            3 * kFftSkewFloats);
        // Sizes that are not powers of two go through CExactFFT, with work memory of its own.
        const auto isPowerOfTwo = [](std::uint64_t n) { return (n & (n - 1)) == 0; };
        if (!isPowerOfTwo(transformWidth) || !isPowerOfTwo(transformHeight)) {
            scratch = transformWidth <= kMaxTransformSide && transformHeight <= kMaxTransformSide
                          ? 4.0 * static_cast<double>(
                                      CExactFFT::ThreadWorkFloats(transformWidth, transformHeight))
                          : 0.0;
        }
        threads = std::max(1, tbb::this_task_arena::max_concurrency());
        window = ScreenBytes();
    }

    std::uint64_t imageWidth;
    std::uint64_t imageHeight;
    TransformSize transform;  ///< the size the image is transformed at
    SampleDepth depth;        ///< the depth of the loaded image's samples
    bool grey;
    int channels;
    double image;        ///< the loaded image
    double workImage;    ///< the image at the transform size W2 x H2
    double bytePlane;    ///< one channel at the transform size, a byte an element
    double plane;        ///< a float plane of W2 x H2
    double power;        ///< a power spectrum image (8 bits a pixel)
    double powerFile;    ///< the encoded PNG file of one power spectrum image, at most
    double imageFile;    ///< the encoded final image, at most
    double decoderRows;  ///< the decoder's own rows
    double scratch;      ///< the fast transform's work memory of one thread
    int threads;
    double window;  ///< a 32-bit image of the whole screen
};

/// The blocks of one processing state, by channel.
struct StateBlocks {
    MemoryModel::Id workImage = 0;
    MemoryModel::Id image = 0;
    bool hasImage = false;
    std::vector<MemoryModel::Id> re, im, power;
};

/// LoadImageFile: the decoder writes straight into the bitmap, through a few rows of its own.
MemoryModel::Id Load(MemoryModel& model, const WorkSizes& sizes) {
    const MemoryModel::Id image = model.Take(sizes.image);
    model.PassHeap(sizes.decoderRows);
    return image;
}

/// One channel transformed (ComputeSpectrum): its bytes, then the two planes of its spectrum,
/// which are returned; the first transform of the process at this size gives every worker
/// thread its work memory, which it keeps. The bytes are given back.
std::pair<MemoryModel::Id, MemoryModel::Id> TransformChannel(MemoryModel& model,
                                                             const WorkSizes& sizes,
                                                             bool firstTransform) {
    const MemoryModel::Id bytes = model.Take(sizes.bytePlane);
    const MemoryModel::Id re = model.Take(sizes.plane);
    const MemoryModel::Id im = model.Take(sizes.plane);
    for (int t = 0; firstTransform && t < sizes.threads; ++t) {
        model.Take(sizes.scratch);
    }
    model.Give(bytes);
    return {re, im};
}

/// The spectra of a freshly loaded image (CFFTProc::PrepareWorkingState,
/// StartBareWorkingState): the image at the transform size, then per channel its bytes and the
/// two planes of its transform, the first transform of the process at this size giving every
/// worker thread its work memory, which it keeps; with display, a power spectrum image per
/// channel after them.
StateBlocks FirstState(MemoryModel& model, const WorkSizes& sizes, bool display,
                       bool firstTransform = true) {
    StateBlocks state;
    state.workImage = model.Take(sizes.workImage);
    for (int c = 0; c < sizes.channels; ++c) {
        const auto [re, im] = TransformChannel(model, sizes, firstTransform && c == 0);
        state.re.push_back(re);
        state.im.push_back(im);
    }
    for (int c = 0; display && c < sizes.channels; ++c) {
        state.power.push_back(model.Take(sizes.power));
    }
    return state;
}

/// CreateFinalImage: each channel transformed back into bytes of its own, in its own planes
/// when they are consumed or else into a new plane beside the transform's imaginary work plane
/// (a grey channel straight into the image), then the image at its loaded size.
void FinalImage(MemoryModel& model, const WorkSizes& sizes, StateBlocks& state, bool consume) {
    std::vector<MemoryModel::Id> bytes;
    std::optional<MemoryModel::Id> workPlane;
    // Wider samples go into a copy of the image at the transform size instead of bytes.
    const bool deep = sizes.depth != SampleDepth::Bits8;
    if (deep && !consume) {
        bytes.push_back(model.Take(sizes.workImage));
    }
    for (int c = 0; c < sizes.channels; ++c) {
        if (!sizes.grey && !deep) {
            bytes.push_back(model.Take(sizes.bytePlane));
        }
        if (consume) {
            model.Give(state.im[c]);
            model.Give(state.re[c]);
            continue;
        }
        const MemoryModel::Id values = model.Take(sizes.plane);
        if (!workPlane) {
            workPlane = model.Take(sizes.plane);
        }
        model.Give(values);
    }
    for (auto b = bytes.rbegin(); b != bytes.rend(); ++b) {
        model.Give(*b);
    }
    if (workPlane) {
        model.Give(*workPlane);
    }
    const MemoryModel::Id image = model.Take(sizes.image);
    if (state.hasImage) {
        model.Give(state.image);
    }
    state.image = image;
    state.hasImage = true;
}

/// An 8-bit power spectrum image written as PNG (SaveGreyPngFile): the file encoded in memory
/// from LargeBlocks, each stripe with room for its worst case, while every thread compresses a
/// stripe through a deflate state of its own.
void WriteGreyPng(MemoryModel& model, const WorkSizes& sizes) {
    const MemoryModel::Id file = model.Take(sizes.powerFile);
    model.PassHeap(sizes.threads * kDeflateStateBytes);
    model.Give(file);
}

/// The screen images of one tab (CDisplayImageCache): each bitmap shown from its own memory, or
/// converted once into a copy from LargeBlocks (copied set), and shrunk to fit its panel
/// straight from there. The shrunk copies of a tab together cover at most the window.
struct Screen {
    std::vector<MemoryModel::Id> copies;
    std::optional<MemoryModel::Id> scaled;

    void Show(MemoryModel& model, const WorkSizes& sizes, double bytes, bool copied) {
        if (copied) {
            copies.push_back(model.Take(bytes));
        }
        if (!scaled) {
            scaled = model.TakeHeap(sizes.window);
        }
    }
    void Clear(MemoryModel& model) {
        for (const MemoryModel::Id copy : copies) {
            model.Give(copy);
        }
        copies.clear();
        if (scaled) {
            model.Give(*scaled);
            scaled.reset();
        }
    }
};

/// The two tabs of the desktop program.
struct Screens {
    Screen image;
    Screen spectrum;

    /// The image as loaded and the processed one, shown from their own memory when their
    /// samples are 8 bits (a colour one is opaque).
    void ShowImages(MemoryModel& model, const WorkSizes& sizes) {
        const bool deep = sizes.depth != SampleDepth::Bits8;
        image.Show(model, sizes, sizes.image, deep);
        image.Show(model, sizes, sizes.image, deep);
    }
    /// The power spectrum images are grey, shown and shrunk from their own memory.
    void ShowSpectra(MemoryModel& model, const WorkSizes& sizes) {
        for (int c = 0; c < sizes.channels; ++c) {
            spectrum.Show(model, sizes, sizes.power, false);
        }
    }
    /// A change of the document: both tabs drop their copies, the spectrum tab shows its new
    /// ones.
    void Changed(MemoryModel& model, const WorkSizes& sizes) {
        image.Clear(model);
        spectrum.Clear(model);
        ShowSpectra(model, sizes);
    }
};

/// The document after opening, kept for the next history state.
struct OpenDocument {
    MemoryModel::Id original = 0;
    StateBlocks first;
    Screens screens;
};

/// Opening in the desktop program: the first history state with its power spectrum images and
/// a copy of the image, shown in the spectrum tab and then in the image tab.
OpenDocument Document(MemoryModel& model, const WorkSizes& sizes) {
    OpenDocument document;
    document.original = Load(model, sizes);
    document.first = FirstState(model, sizes, true);
    document.first.image = model.Take(sizes.image);
    document.first.hasImage = true;
    document.screens.ShowSpectra(model, sizes);
    document.screens.ShowImages(model, sizes);
    return document;
}

/// The next history state of an open document, made in the spectrum tab: a brush stroke
/// starts pending edits that share the spectra and power spectrum images of the first state,
/// which discards the pixels of its image at the transform size; the pending edits' image at
/// that size is reserved, to be made with the final image, the stroke's channel gets planes of
/// its own of which only the rows it reaches are written (a few, left out here), and its power
/// spectrum image is rendered again in place. A filter first keeps those edits to go back to
/// (its image reserved, the rest shared), gives every channel planes of its own, computing its
/// response row by row as it goes, and renders every power spectrum image again; then what
/// only the kept edits held goes, and so do the first state's planes and power spectrum
/// images, since it is not shown. Create Final Image makes the image at the transform size
/// and the image; then the image tab shows it.
void AnotherHistoryState(MemoryModel& model, const WorkSizes& sizes, OpenDocument& document) {
    Screens& screens = document.screens;
    StateBlocks& first = document.first;
    StateBlocks edits;
    edits.workImage = model.Reserve(sizes.workImage);
    const MemoryModel::Id strokeRe = model.Reserve(sizes.plane);
    const MemoryModel::Id strokeIm = model.Reserve(sizes.plane);
    model.Discard(first.workImage);
    screens.Changed(model, sizes);

    const MemoryModel::Id before = model.Reserve(sizes.workImage);
    for (int c = 0; c < sizes.channels; ++c) {
        edits.re.push_back(model.Take(sizes.plane));
        edits.im.push_back(model.Take(sizes.plane));
    }
    // The filter's dialog, drawn among pieces of the heap freed in between.
    model.Grow(sizes.window);
    for (int c = 0; c < sizes.channels; ++c) {
        edits.power.push_back(model.Take(sizes.power));
    }
    for (const MemoryModel::Id block : {strokeIm, strokeRe, before}) {
        model.Give(block);
    }
    for (int c = 0; c < sizes.channels; ++c) {
        model.Give(first.re[c]);
        model.Give(first.im[c]);
        model.Give(first.power[c]);
    }
    screens.Changed(model, sizes);

    const MemoryModel::Id reserved = edits.workImage;
    edits.workImage = model.Take(sizes.workImage);
    model.Give(reserved);
    FinalImage(model, sizes, edits, false);
    screens.Changed(model, sizes);
    // So are the scaled copies drawn again after the changes.
    model.Grow(sizes.window);
    screens.ShowImages(model, sizes);
}

/// The final image encoded in memory (SaveImageFile). The encoders read an image of 8-bit
/// samples as it is (a colour one is opaque), a colour image of 16-bit samples through a copy.
void Encode(MemoryModel& model, const WorkSizes& sizes) {
    std::optional<MemoryModel::Id> copy;
    if (!sizes.grey && sizes.depth != SampleDepth::Bits8) {
        copy = model.Take(sizes.image);
    }
    model.PassHeap(sizes.imageFile);
    if (copy) {
        model.Give(*copy);
    }
}

/// A colour image taken apart into three grey images of its size (ExtractChannel), after
/// which the loaded image is freed.
std::vector<MemoryModel::Id> TakeApart(MemoryModel& model, const WorkSizes& grey,
                                       MemoryModel::Id original) {
    std::vector<MemoryModel::Id> parts;
    for (int c = 0; c < 3; ++c) {
        parts.push_back(model.Take(grey.image));
    }
    model.Give(original);
    return parts;
}

/// fftquarvel-cli spectrum: a colour image taken apart and each channel resampled to the
/// transform size when its turn comes, a grey image resampled at once; then one channel at a
/// time its spectrum, the power spectrum image rendered in the spectrum's planes and its file.
double SpectrumPeak(MemoryModel& model, const WorkSizes& sizes) {
    const WorkSizes grey(sizes.imageWidth, sizes.imageHeight, true, sizes.transform, sizes.depth);
    const MemoryModel::Id original = Load(model, sizes);
    std::vector<MemoryModel::Id> parts;
    std::optional<MemoryModel::Id> whole;
    if (sizes.grey) {
        whole = model.Take(sizes.workImage);
        model.Give(original);
    } else {
        parts = TakeApart(model, grey, original);
    }
    for (int c = 0; c < sizes.channels; ++c) {
        std::optional<MemoryModel::Id> part;
        if (!sizes.grey) {
            part = model.Take(grey.workImage);
            model.Give(parts[c]);
        }
        const auto [re, im] = TransformChannel(model, sizes, c == 0);
        if (part) {
            model.Give(*part);
        }
        // The levels are worked out in the real plane, then written as an 8-bit image.
        const MemoryModel::Id power = model.Take(sizes.power);
        model.Give(im);
        model.Give(re);
        WriteGreyPng(model, sizes);
        model.Give(power);
    }
    if (whole) {
        model.Give(*whole);
    }
    return model.Peak();
}

/// One grey image through the steps of fftquarvel-cli filter (FilterRun::FilterImage): its
/// spectrum without a filter mask, with spectra its power spectrum image rendered and kept for
/// writing, then the final image made in the spectrum's own planes. The image given is freed with
/// the history; the final image is returned.
MemoryModel::Id FilterGreyImage(MemoryModel& model, const WorkSizes& grey, MemoryModel::Id image,
                                bool spectra, bool firstTransform,
                                std::vector<MemoryModel::Id>& powers) {
    StateBlocks state = FirstState(model, grey, false, firstTransform);
    if (spectra) {
        powers.push_back(model.Take(grey.power));
    }
    FinalImage(model, grey, state, true);
    model.Give(image);
    model.Give(state.workImage);
    return state.image;
}

/// fftquarvel-cli filter: a colour image taken apart and filtered one channel at a time as grey
/// images, then put together again; the final image encoded, then the power spectrum images
/// written.
double FilterPeak(MemoryModel& model, const WorkSizes& sizes, bool spectra) {
    const WorkSizes grey(sizes.imageWidth, sizes.imageHeight, true, sizes.transform, sizes.depth);
    const MemoryModel::Id original = Load(model, sizes);
    std::vector<MemoryModel::Id> powers;
    MemoryModel::Id final = 0;
    if (sizes.grey) {
        final = FilterGreyImage(model, grey, original, spectra, true, powers);
    } else {
        std::vector<MemoryModel::Id> parts = TakeApart(model, grey, original);
        for (MemoryModel::Id& part : parts) {
            part = FilterGreyImage(model, grey, part, spectra, &part == &parts.front(), powers);
        }
        final = model.Take(sizes.image);
        for (const MemoryModel::Id part : parts) {
            model.Give(part);
        }
    }
    Encode(model, sizes);
    for (const MemoryModel::Id power : powers) {
        WriteGreyPng(model, grey);
        model.Give(power);
    }
    model.Give(final);
    return model.Peak();
}

/// One file of a batch run (CBatchProcessor): the image at the transform size; then one channel
/// at a time its spectrum, filtered in place and transformed back in its own planes into its
/// channel of that image (a stretch of bytes at a time), the planes released before the next
/// channel's are made; then the final image, encoded.
double BatchPeak(MemoryModel& model, const WorkSizes& sizes) {
    const MemoryModel::Id original = Load(model, sizes);
    const MemoryModel::Id work = model.Take(sizes.workImage);
    for (int c = 0; c < sizes.channels; ++c) {
        const auto [re, im] = TransformChannel(model, sizes, c == 0);
        model.Give(im);
        model.Give(re);
    }
    const MemoryModel::Id image = model.Take(sizes.image);
    Encode(model, sizes);
    model.Give(image);
    model.Give(work);
    model.Give(original);
    return model.Peak();
}

/// The peak of work other than HistoryState.
double PeakOf(ImageWork work, const WorkSizes& sizes) {
    MemoryModel model;
    switch (work) {
        case ImageWork::Document:
            Document(model, sizes);
            return model.Peak();
        case ImageWork::Spectrum:
            return SpectrumPeak(model, sizes);
        case ImageWork::Filter:
        case ImageWork::FilterWithSpectra:
            return FilterPeak(model, sizes, work == ImageWork::FilterWithSpectra);
        case ImageWork::Batch:
            return BatchPeak(model, sizes);
        case ImageWork::HistoryState:
            break;
    }
    return 0.0;
}

}  // namespace

std::uint64_t PhysicalMemoryBytes() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    std::uint64_t physical = pages > 0 && pageSize > 0 ? static_cast<std::uint64_t>(pages) *
                                                             static_cast<std::uint64_t>(pageSize)
                                                       : std::uint64_t{8} << 30;
    for (const char* file :
         {"/sys/fs/cgroup/memory.max", "/sys/fs/cgroup/memory/memory.limit_in_bytes"}) {
        const std::uint64_t limit = ControlGroupLimit(file);
        if (limit != 0 && limit < physical) {
            physical = limit;
        }
    }
    return physical;
}

std::uint64_t AvailableMemoryBytes() {
    std::uint64_t available = 0;
    if (std::FILE* stream = std::fopen("/proc/meminfo", "re")) {
        char line[256];
        unsigned long long kilobytes = 0;
        while (std::fgets(line, sizeof line, stream) != nullptr) {
            if (std::sscanf(line, "MemAvailable: %llu kB", &kilobytes) == 1) {
                available = static_cast<std::uint64_t>(kilobytes) * 1024;
                break;
            }
        }
        std::fclose(stream);
    }
    if (available == 0) {
        available = PhysicalMemoryBytes();
    }
    // A control group's limit counts what its processes already use.
    const std::uint64_t limit = ControlGroupLimit("/sys/fs/cgroup/memory.max");
    if (limit != 0) {
        const std::uint64_t used = ControlGroupLimit("/sys/fs/cgroup/memory.current");
        available = std::min(available, limit > used ? limit - used : 0);
    }
    return available;
}

std::uint64_t MemoryBudget() {
    const std::uint64_t budget = memoryBudget.load();
    return budget != 0 ? budget : PhysicalMemoryBytes() / 2;
}

std::uint64_t SetMemoryBudget(std::uint64_t bytes) {
    return memoryBudget.exchange(bytes);
}

std::uint64_t EstimatedImageMemory(ImageWork work, std::uint64_t width, std::uint64_t height,
                                   bool grey, TransformSize transform, SampleDepth depth) {
    const WorkSizes sizes(width, height, grey, transform, depth);
    double needed = 0.0;
    if (work == ImageWork::HistoryState) {
        MemoryModel model;
        OpenDocument document = Document(model, sizes);
        const double opened = model.Peak();
        AnotherHistoryState(model, sizes, document);
        needed = model.Peak() - opened;
    } else {
        needed = PeakOf(work, sizes);
    }
    return needed >= 1.8e19 ? UINT64_MAX : static_cast<std::uint64_t>(std::ceil(needed));
}

std::string ImageSizeRefusal(ImageWork work, std::uint64_t width, std::uint64_t height, bool grey,
                             std::uint64_t limit, TransformSize transform, SampleDepth depth) {
    const std::uint64_t w2 = SpectrumSize(width, transform);
    const std::uint64_t h2 = SpectrumSize(height, transform);
    const std::uint64_t needed = EstimatedImageMemory(work, width, height, grey, transform, depth);
    const std::string size = std::to_string(width) + " x " + std::to_string(height) + " pixels";
    if (w2 > kMaxTransformSide || h2 > kMaxTransformSide) {
        return "too large: " + size + " needs a transform of " + std::to_string(w2) + " x " +
               std::to_string(h2) + " (at most " + std::to_string(kMaxTransformSide) +
               " on a side) and " + MemorySizeText(needed);
    }
    if (needed > limit) {
        return "too large: " + size + " needs " + MemorySizeText(needed) + ", limit " +
               MemorySizeText(limit);
    }
    return {};
}

std::optional<std::uint64_t> ParseMemorySize(const std::string& text) {
    std::size_t digits = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') {
        ++digits;
    }
    if (digits == 0) {
        return std::nullopt;
    }
    std::uint64_t number = 0;
    for (std::size_t i = 0; i < digits; ++i) {
        const auto digit = static_cast<std::uint64_t>(text[i] - '0');
        if (number > (UINT64_MAX - digit) / 10) {
            return std::nullopt;
        }
        number = number * 10 + digit;
    }
    std::string unit = text.substr(digits);
    for (char& c : unit) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    int shift = 0;
    if (!unit.empty() && unit != "B") {
        static const std::string kPrefixes = "KMGT";
        const std::size_t prefix = kPrefixes.find(unit.front());
        const std::string rest = unit.substr(1);
        if (prefix == std::string::npos || !(rest.empty() || rest == "B" || rest == "IB")) {
            return std::nullopt;
        }
        shift = 10 * static_cast<int>(prefix + 1);
    }
    if (shift != 0 && number > (UINT64_MAX >> shift)) {
        return std::nullopt;
    }
    return number << shift;
}

std::string MemorySizeText(std::uint64_t bytes) {
    const auto roundedUp = [bytes](std::uint64_t unit) {
        return std::to_string(bytes / unit + (bytes % unit != 0 ? 1 : 0));
    };
    return bytes < (std::uint64_t{1} << 20) ? roundedUp(1024) + " KB"
                                            : roundedUp(std::uint64_t{1} << 20) + " MB";
}

}  // namespace quarvel
