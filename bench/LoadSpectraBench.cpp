// Opening a large photograph: decoding a 6000 x 4000 JPEG (24 megapixels) and computing all its
// spectra as a new document does: resampling to the 8192 x 4096 transform size, then per colour
// channel the centred spectrum and its power spectrum image. All three spectra and power images
// are kept until the end, as a processing state keeps them.
//
// The photograph is made at start-up by enlarging tests/data/images/rocket.jpg and is removed at
// exit. Besides the total per iteration, the counters give the milliseconds of each phase:
// load_ms, resample_ms and spectra_ms.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "BenchUtil.h"
#include "engine/SpectrumConversion.h"
#include "imageio/ImageFile.h"

namespace quarvel::bench {
namespace {

constexpr std::uint32_t kPhotoWidth = 6000;
constexpr std::uint32_t kPhotoHeight = 4000;

/// The enlarged photograph in a temporary folder of its own, removed when the program ends.
class LargePhotograph {
public:
    LargePhotograph() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "quarvel-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            error_ = "cannot make a temporary folder";
            return;
        }
        folder_ = pattern;
        std::unique_ptr<ImageBitmap> source;
        const IoResult loaded =
            LoadImageFile(source, std::filesystem::path(QUARVEL_SOURCE_DIR) / "tests" / "data" /
                                      "images" / "rocket.jpg");
        if (!loaded) {
            error_ = "rocket.jpg: " + loaded.message;
            return;
        }
        const auto enlarged = ResampleImage(source.get(), kPhotoWidth, kPhotoHeight);
        if (!enlarged) {
            error_ = "not enough memory to enlarge the photograph";
            return;
        }
        path_ = folder_ / "photograph.jpg";
        const IoResult saved = SaveImageFile(*enlarged, path_, SaveOptions{"image/jpeg", 90});
        if (!saved) {
            error_ = saved.message;
        }
    }
    ~LargePhotograph() {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    LargePhotograph(const LargePhotograph&) = delete;
    LargePhotograph& operator=(const LargePhotograph&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    /// Why the photograph could not be made; empty when it is there.
    const std::string& Error() const { return error_; }

private:
    std::filesystem::path folder_;
    std::filesystem::path path_;
    std::string error_;
};

const LargePhotograph& Photograph() {
    static const LargePhotograph photograph;
    return photograph;
}

/// Everything one opened document holds for a colour image.
struct OpenedImage {
    std::unique_ptr<ImageBitmap> image;
    std::unique_ptr<ImageBitmap> work;
    std::vector<ChannelSpectrum> spectra;
    std::vector<std::unique_ptr<ImageBitmap>> powerImages;
};

void BenchLoadSpectra(benchmark::State& state) {
    const LargePhotograph& photograph = Photograph();
    if (!photograph.Error().empty()) {
        state.SkipWithError(photograph.Error().c_str());
        return;
    }
    ScopedThreadLimit threads(static_cast<std::size_t>(state.range(0)));
    double loadMs = 0.0;
    double resampleMs = 0.0;
    double spectraMs = 0.0;
    for (auto _ : state) {
        OpenedImage opened;
        IoResult loaded;
        loadMs +=
            TimeMilliseconds([&] { loaded = LoadImageFile(opened.image, photograph.Path()); });
        if (!loaded) {
            state.SkipWithError(loaded.message.c_str());
            return;
        }
        const auto w2 = static_cast<std::uint32_t>(SpectrumSize(opened.image->Width()));
        const auto h2 = static_cast<std::uint32_t>(SpectrumSize(opened.image->Height()));
        resampleMs +=
            TimeMilliseconds([&] { opened.work = ResampleImage(opened.image.get(), w2, h2); });
        spectraMs += TimeMilliseconds([&] {
            for (const ChannelKind channel :
                 {ChannelKind::Red, ChannelKind::Green, ChannelKind::Blue}) {
                ChannelSpectrum spectrum = ComputeSpectrum(opened.work.get(), channel);
                opened.powerImages.push_back(
                    RenderPowerSpectrum(spectrum.re.get(), spectrum.im.get(), w2, h2));
                opened.spectra.push_back(std::move(spectrum));
            }
        });
        if (!opened.powerImages.back()) {
            state.SkipWithError("not enough memory for the spectra");
            return;
        }
        benchmark::DoNotOptimize(opened.powerImages.back()->Data());
    }
    const double iterations = static_cast<double>(state.iterations());
    state.counters["load_ms"] = loadMs / iterations;
    state.counters["resample_ms"] = resampleMs / iterations;
    state.counters["spectra_ms"] = spectraMs / iterations;
}

BENCHMARK(BenchLoadSpectra)
    ->Name("load_spectra/6000x4000_jpeg")
    ->ArgName("threads")
    ->Arg(1)
    ->Arg(2)
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace quarvel::bench
