// How well periodic noise is removed: the sample photographs with gratings and halftone-like
// screens added, cleaned by the best low-pass, by notches at the true frequencies and by the
// automatic finder at the image's own size; and the clean photographs through the finder.
//
//   quarvel_notch_bench [--write DIR] [--only NAME]
//
// prints one `notch ...` line per image (PSNR against the clean photograph in dB) and the
// averages; --write also saves each noisy image and its automatic result as PNG into DIR,
// --only measures the noisy image NAME alone (or "clean": the clean ones) and lists the spikes.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "filters/PeriodicNoise.h"
#include "history/CFFTProc.h"
#include "imageio/ImageFile.h"

namespace quarvel {
namespace {

/// A picture as channel planes of bytes: one (grey) or three (red, green, blue).
struct Picture {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::vector<std::uint8_t>> channels;
};

/// One periodic pattern added to some channels: a wave of period (pixels) running at angle
/// (degrees, counter-clockwise as the image is seen), or a screen of two such waves at right
/// angles pressed through a soft limit, which gives it harmonics.
struct Pattern {
    double period;
    double angle;
    double amplitude;
    bool screen;
    unsigned channelMask;  ///< bit c: channel c; grey pictures use bit 0
    double phase;
};

struct NoisyCase {
    std::string name;
    std::string source;
    std::vector<Pattern> patterns;
};

class BenchProc final : public CFFTProc {
public:
    void UpdateViews(int /*erase*/) override {}
};

bool LoadPicture(const std::filesystem::path& path, Picture& picture) {
    std::unique_ptr<ImageBitmap> image;
    if (!LoadImageFile(image, path)) {
        return false;
    }
    picture.width = image->Width();
    picture.height = image->Height();
    const bool grey = image->Format() == PixelFormat8bppIndexed;
    const RowAccess rows(*image, grey ? PixelFormat8bppIndexed : PixelFormat32bppRGB);
    picture.channels.assign(grey ? 1 : 3,
                            std::vector<std::uint8_t>(std::size_t{picture.width} * picture.height));
    for (std::uint32_t y = 0; y < picture.height; ++y) {
        for (std::uint32_t x = 0; x < picture.width; ++x) {
            const std::size_t i = std::size_t{y} * picture.width + x;
            if (grey) {
                picture.channels[0][i] = rows.Row(y)[x];
            } else {
                for (std::size_t c = 0; c < 3; ++c) {
                    picture.channels[c][i] = rows.Row(y)[4 * x + 2 - c];
                }
            }
        }
    }
    return true;
}

std::unique_ptr<ImageBitmap> ToBitmap(const Picture& picture) {
    const bool grey = picture.channels.size() == 1;
    auto image = ImageBitmap::Create(picture.width, picture.height,
                                     grey ? PixelFormat8bppIndexed : PixelFormat32bppRGB);
    if (grey) {
        image->SetPalette(BitmapPalette::GreyRamp());
    }
    for (std::uint32_t y = 0; y < picture.height; ++y) {
        for (std::uint32_t x = 0; x < picture.width; ++x) {
            const std::size_t i = std::size_t{y} * picture.width + x;
            if (grey) {
                image->Row(y)[x] = picture.channels[0][i];
            } else {
                for (std::size_t c = 0; c < 3; ++c) {
                    image->Row(y)[4 * x + 2 - c] = picture.channels[c][i];
                }
            }
        }
    }
    return image;
}

double Psnr(const Picture& a, const ImageBitmap& b) {
    Picture other;
    other.width = b.Width();
    other.height = b.Height();
    const bool grey = b.Format() == PixelFormat8bppIndexed;
    const RowAccess rows(b, grey ? PixelFormat8bppIndexed : PixelFormat32bppRGB);
    double sum = 0.0;
    for (std::uint32_t y = 0; y < a.height; ++y) {
        for (std::uint32_t x = 0; x < a.width; ++x) {
            const std::size_t i = std::size_t{y} * a.width + x;
            for (std::size_t c = 0; c < a.channels.size(); ++c) {
                const int value = grey ? rows.Row(y)[x] : rows.Row(y)[4 * x + 2 - c];
                const double d = static_cast<double>(value - a.channels[c][i]);
                sum += d * d;
            }
        }
    }
    const double mse = sum / (static_cast<double>(a.width) * a.height * a.channels.size());
    return mse == 0.0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

/// The cycles per pixel (across, down) of a wave of period and angle.
void WaveFrequency(double period, double angle, double& u, double& v) {
    const double radians = angle * std::numbers::pi / 180.0;
    u = std::cos(radians) / period;
    v = -std::sin(radians) / period;
}

Picture AddNoise(const Picture& clean, const std::vector<Pattern>& patterns) {
    Picture noisy = clean;
    for (std::uint32_t y = 0; y < clean.height; ++y) {
        for (std::uint32_t x = 0; x < clean.width; ++x) {
            const std::size_t i = std::size_t{y} * clean.width + x;
            for (std::size_t c = 0; c < clean.channels.size(); ++c) {
                double value = clean.channels[c][i];
                for (const Pattern& p : patterns) {
                    if ((p.channelMask & (1u << c)) == 0) {
                        continue;
                    }
                    double u = 0.0;
                    double v = 0.0;
                    WaveFrequency(p.period, p.angle, u, v);
                    const double a = 2.0 * std::numbers::pi * (u * x + v * y) + p.phase;
                    if (p.screen) {
                        const double b = 2.0 * std::numbers::pi * (-v * x + u * y) + p.phase;
                        value += p.amplitude * std::tanh(1.5 * (std::cos(a) + std::cos(b))) /
                                 std::tanh(3.0);
                    } else {
                        value += p.amplitude * std::cos(a);
                    }
                }
                noisy.channels[c][i] =
                    static_cast<std::uint8_t>(std::clamp(std::lround(value), 0L, 255L));
            }
        }
    }
    return noisy;
}

/// A halftone print of a grey picture as a scanner sees it: each pixel is the share of paper
/// in a square of four pixels' side around it (the scanner's blur), sampled 6 x 6 times, of a
/// screen of round dots (period in pixels, at angle degrees) whose size follows the picture's
/// darkness.
Picture Halftone(const Picture& clean, double period, double angle) {
    Picture print = clean;
    double u = 0.0;
    double v = 0.0;
    WaveFrequency(period, angle, u, v);
    constexpr int kSamples = 6;
    constexpr double kAperture = 4.0;
    for (std::uint32_t y = 0; y < clean.height; ++y) {
        for (std::uint32_t x = 0; x < clean.width; ++x) {
            const std::size_t i = std::size_t{y} * clean.width + x;
            const double level = clean.channels[0][i] / 255.0;
            int paper = 0;
            for (int sy = 0; sy < kSamples; ++sy) {
                for (int sx = 0; sx < kSamples; ++sx) {
                    const double px = x + kAperture * ((sx + 0.5) / kSamples - 0.5);
                    const double py = y + kAperture * ((sy + 0.5) / kSamples - 0.5);
                    const double a = 2.0 * std::numbers::pi * (u * px + v * py);
                    const double b = 2.0 * std::numbers::pi * (-v * px + u * py);
                    paper += level > (std::cos(a) + std::cos(b)) / 4.0 + 0.5 ? 1 : 0;
                }
            }
            print.channels[0][i] =
                static_cast<std::uint8_t>(std::lround(255.0 * paper / (kSamples * kSamples)));
        }
    }
    return print;
}

/// The members a picture's channels are edited through.
std::vector<ChannelKind> Members(const Picture& picture) {
    if (picture.channels.size() == 1) {
        return {ChannelKind::Grey};
    }
    return {ChannelKind::Red, ChannelKind::Green, ChannelKind::Blue};
}

/// Runs edit on the exact-size spectra of picture and returns the final image.
template <typename Edit>
std::unique_ptr<ImageBitmap> Process(const Picture& picture, const Edit& edit) {
    BenchProc proc;
    proc.originalImage = ToBitmap(picture);
    proc.transformSize = TransformSize::Exact;
    if (!proc.StartBareWorkingState()) {
        return nullptr;
    }
    edit(proc);
    proc.CreateFinalImage(true);
    return proc.CurrentState() != nullptr ? std::move(proc.CurrentState()->image) : nullptr;
}

double BestLowPass(const Picture& noisy, const Picture& clean, int& bestCut) {
    double best = -1.0;
    const auto at = [&](int cut) {
        const auto result = Process(noisy, [cut](CFFTProc& proc) {
            proc.filterSettings.cutOff = cut;
            proc.BuildAndApplyFilter(FilterKind::LowPass, true, true, true);
        });
        const double psnr = Psnr(clean, *result);
        if (psnr > best) {
            best = psnr;
            bestCut = cut;
        }
    };
    for (int cut = 5; cut <= 100; cut += 5) {
        at(cut);
    }
    const int coarse = bestCut;
    for (int cut = std::max(1, coarse - 4); cut <= std::min(100, coarse + 4); ++cut) {
        if (cut != coarse) {
            at(cut);
        }
    }
    return best;
}

/// Notches of a fixed size at the true frequencies of the patterns (with a screen's harmonics)
/// in the channels each pattern reaches.
double TrueNotches(const Picture& noisy, const Picture& clean,
                   const std::vector<Pattern>& patterns) {
    const auto result = Process(noisy, [&](CFFTProc& proc) {
        const std::vector<ChannelKind> members = Members(noisy);
        for (std::size_t c = 0; c < members.size(); ++c) {
            std::vector<SpectrumNotch> notches;
            for (const Pattern& p : patterns) {
                if ((p.channelMask & (1u << c)) == 0) {
                    continue;
                }
                double u = 0.0;
                double v = 0.0;
                WaveFrequency(p.period, p.angle, u, v);
                const int order = p.screen ? 3 : 1;
                for (int m = -order; m <= order; ++m) {
                    for (int n = 0; n <= order; ++n) {
                        if ((std::abs(m) + n) % 2 == 0 || (n == 0 && m < 0) ||
                            (!p.screen && n != 0)) {
                            continue;
                        }
                        // Waves u, v and -v, u combined m and n times, folded into the plane.
                        double fu = m * u - n * v;
                        double fv = m * v + n * u;
                        fu -= std::round(fu);
                        fv -= std::round(fv);
                        SpectrumNotch notch;
                        notch.x = noisy.width / 2 + fu * noisy.width;
                        notch.y = noisy.height / 2 + fv * noisy.height;
                        notch.radius = 4.0;
                        notch.edge = 2.0;
                        notches.push_back(notch);
                    }
                }
            }
            proc.ApplyNotches(members[c], notches);
        }
    });
    return Psnr(clean, *result);
}

double AutoNotch(const Picture& noisy, const Picture& clean, std::size_t& found,
                 std::unique_ptr<ImageBitmap>* keep = nullptr, bool list = false) {
    found = 0;
    auto result = Process(noisy, [&](CFFTProc& proc) {
        for (const ChannelKind member : Members(noisy)) {
            const std::vector<NoiseSpike> spikes = proc.RemovePeriodicNoise(member);
            found += spikes.size();
            for (const NoiseSpike& s : spikes) {
                if (list) {
                    const SpectrumNotch& n = s.notch;
                    std::printf(
                        "  spike channel=%d at=%.2f,%.2f period=%.2f angle=%.1f strength=%.1f "
                        "radius=%.1f edge=%.1f row_arm=%.1f,%.1f rows=%lld..%lld "
                        "column_arm=%.1f,%.1f columns=%lld..%lld\n",
                        static_cast<int>(member), s.x, s.y, s.period, s.angle, s.strength, n.radius,
                        n.edge, n.armLeftward, n.armRightward, static_cast<long long>(n.armTop),
                        static_cast<long long>(n.armBottom), n.armUpward, n.armDownward,
                        static_cast<long long>(n.armLeft), static_cast<long long>(n.armRight));
                }
            }
        }
    });
    const double psnr = Psnr(clean, *result);
    if (keep != nullptr) {
        *keep = std::move(result);
    }
    return psnr;
}

int Run(int argc, char** argv) {
    const std::filesystem::path images =
        std::filesystem::path(QUARVEL_SOURCE_DIR) / "tests" / "data" / "images";
    std::filesystem::path writeTo;
    std::string only;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::string(argv[i]) == "--write") {
            writeTo = argv[i + 1];
        } else if (std::string(argv[i]) == "--only") {
            only = argv[i + 1];
        }
    }
    constexpr unsigned kAll = 7;
    const std::vector<NoisyCase> cases = {
        {"camera_stripes", "camera.png", {{8.0, 0.0, 20.0, false, kAll, 0.3}}},
        {"coins_scanlines", "coins.png", {{5.5, 90.0, 18.0, false, kAll, 1.1}}},
        {"astronaut_diagonal", "astronaut.png", {{6.3, 30.0, 22.0, false, kAll, 0.0}}},
        {"coffee_red", "coffee.png", {{11.7, 120.0, 30.0, false, 1, 2.0}}},
        {"rocket_screen", "rocket.jpg", {{6.0, 45.0, 25.0, true, kAll, 0.5}}},
        {"astronaut_two",
         "astronaut.png",
         {{4.2, 75.0, 20.0, false, 2, 0.7}, {9.5, 10.0, 15.0, false, kAll, 1.9}}},
        {"camera_screen", "camera.png", {{7.0, 15.0, 25.0, true, kAll, 0.0}}},
        {"coins_fine", "coins.png", {{3.3, 60.0, 25.0, false, kAll, 0.4}}},
        {"coffee_screen", "coffee.png", {{5.0, 45.0, 20.0, true, kAll, 1.3}}},
        {"rocket_blue", "rocket.jpg", {{16.0, 150.0, 25.0, false, 4, 2.5}}},
    };
    double sumNoisy = 0.0;
    double sumLowPass = 0.0;
    double sumTrue = 0.0;
    double sumAuto = 0.0;
    double leastGain = 1e9;
    for (const NoisyCase& c : cases) {
        if (!only.empty() && c.name != only) {
            continue;
        }
        Picture clean;
        if (!LoadPicture(images / c.source, clean)) {
            std::fprintf(stderr, "cannot load %s\n", c.source.c_str());
            return 1;
        }
        const Picture noisy = AddNoise(clean, c.patterns);
        const double noisyDb = Psnr(clean, *ToBitmap(noisy));
        int cut = 0;
        const double lowPassDb = BestLowPass(noisy, clean, cut);
        const double trueDb = TrueNotches(noisy, clean, c.patterns);
        std::size_t found = 0;
        std::unique_ptr<ImageBitmap> result;
        const double autoDb = AutoNotch(noisy, clean, found, &result, !only.empty());
        std::printf(
            "notch image=%s size=%ux%u noisy_db=%.2f lowpass_db=%.2f lowpass_cut=%d "
            "true_notch_db=%.2f auto_notch_db=%.2f gain_db=%.2f spikes=%zu\n",
            c.name.c_str(), clean.width, clean.height, noisyDb, lowPassDb, cut, trueDb, autoDb,
            autoDb - noisyDb, found);
        std::fflush(stdout);
        sumNoisy += noisyDb;
        sumLowPass += lowPassDb;
        sumTrue += trueDb;
        sumAuto += autoDb;
        leastGain = std::min(leastGain, autoDb - noisyDb);
        if (!writeTo.empty()) {
            SaveImageFile(*ToBitmap(noisy), writeTo / (c.name + "_noisy.png"));
            SaveImageFile(*result, writeTo / (c.name + "_auto.png"));
        }
    }
    if (!only.empty() && only != "clean") {
        return 0;
    }
    const double n = static_cast<double>(cases.size());
    std::printf(
        "notch average noisy_db=%.2f lowpass_db=%.2f true_notch_db=%.2f auto_notch_db=%.2f "
        "least_gain_db=%.2f\n",
        sumNoisy / n, sumLowPass / n, sumTrue / n, sumAuto / n, leastGain);

    double leastClean = 1e9;
    for (const char* source :
         {"astronaut.png", "camera.png", "coffee.png", "coins.png", "rocket.jpg"}) {
        Picture clean;
        if (!LoadPicture(images / source, clean)) {
            std::fprintf(stderr, "cannot load %s\n", source);
            return 1;
        }
        std::size_t found = 0;
        const double autoDb = AutoNotch(clean, clean, found);
        std::printf("notch clean=%s auto_notch_db=%.2f spikes=%zu\n", source, autoDb, found);
        leastClean = std::min(leastClean, autoDb);
    }
    std::printf("notch clean least_db=%.2f\n", leastClean);

    // A scanned halftone: the dots' size carries the picture, so besides its spikes the screen
    // has side bands around them that no notch takes; measured apart from the set above.
    Picture camera;
    if (!LoadPicture(images / "camera.png", camera)) {
        std::fprintf(stderr, "cannot load camera.png\n");
        return 1;
    }
    const Picture print = Halftone(camera, 6.0, 45.0);
    std::size_t found = 0;
    std::unique_ptr<ImageBitmap> descreened;
    const double printDb = Psnr(camera, *ToBitmap(print));
    const double autoDb = AutoNotch(print, camera, found, &descreened);
    int cut = 0;
    const double lowPassDb = BestLowPass(print, camera, cut);
    std::printf(
        "notch halftone=camera period=6 angle=45 scanned_db=%.2f lowpass_db=%.2f lowpass_cut=%d "
        "auto_notch_db=%.2f spikes=%zu\n",
        printDb, lowPassDb, cut, autoDb, found);
    if (!writeTo.empty()) {
        SaveImageFile(*ToBitmap(print), writeTo / "halftone_scan.png");
        SaveImageFile(*descreened, writeTo / "halftone_auto.png");
    }
    return 0;
}

}  // namespace
}  // namespace quarvel

int main(int argc, char** argv) {
    return quarvel::Run(argc, argv);
}
