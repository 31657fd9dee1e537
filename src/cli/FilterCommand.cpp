#include "cli/FilterCommand.h"

#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <memory>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "batch/OutputName.h"
#include "cli/CliCommands.h"
#include "cli/PowerImagesCommand.h"
#include "engine/PlaneConversion.h"
#include "filters/PeriodicNoise.h"
#include "history/CFFTProc.h"
#include "imageio/GreyPngFile.h"
#include "imageio/ImageFile.h"
#include "imageio/VXFileName.h"
#include "recipe/RecipeFile.h"

namespace quarvel {

namespace {

/// One editing step, in the order the options were given.
struct Operation {
    enum class Kind { LowPass, BandReject, Clear, Brush, AutoNotch } kind;
    std::vector<std::int64_t> values;  ///< cut-off; low, high; x1, y1, x2, y2; x, y, radius
    double sensitivity = kDefaultNoiseSensitivity;  ///< of AutoNotch
};

/// An AutoNotch operation: it runs before the recipe step at index before (after them all when
/// that is their count), with its sensitivity.
struct AutoNotchAt {
    std::size_t before = 0;
    double sensitivity = kDefaultNoiseSensitivity;
};

/// Everything the command line asks of each image.
struct FilterPlan {
    std::vector<Operation> operations;
    FilterSettings filter;  ///< degree and the separable choice shared by every filter step
    bool red = true;
    bool green = true;
    bool blue = true;
    SaveOptions save;
    bool writeSpectra = false;
    bool report = false;  ///< list the spikes each AutoNotch finds
    TransformSize transformSize = TransformSize::PowerOfTwo;
    bool mirror = false;  ///< --clear and --brush clear the mirrored areas too
    std::optional<std::string> outputPath;
    std::optional<std::string> outputFolder;
    std::optional<Recipe> recipe;           ///< replayed instead of operations
    std::optional<std::string> saveRecipe;  ///< where the steps given are written as a recipe
};

/// What the filtering of an image gives: the final image and, when asked for, its power spectrum
/// images in 8 bits a pixel, by channel.
struct FilterResult {
    std::unique_ptr<ImageBitmap> image;
    std::vector<std::pair<ChannelKind, std::unique_ptr<ImageBitmap>>> powers;
};

/// The processing object of one command-line run; nothing is shown, so nothing is notified.
class CliProc final : public CFFTProc {
public:
    void UpdateViews(int /*erase*/) override {}
};

/// Turns the parsed options into a plan; an error message when a value does not fit.
std::string MakePlan(const ParsedOptions& options, FilterPlan& plan) {
    constexpr std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();
    constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();
    for (const auto& [name, value] : options.given) {
        if (name == "lowpass") {
            plan.operations.push_back({Operation::Kind::LowPass, {std::stoll(value)}});
        } else if (name == "bandreject") {
            const auto edges = ParseIntegerList(value, 2, 0, 100);
            if (!edges || (*edges)[0] >= (*edges)[1]) {
                return "option --bandreject: '" + value +
                       "' is not LOW,HIGH with 0 <= LOW < HIGH <= 100 (percent)";
            }
            plan.operations.push_back({Operation::Kind::BandReject, *edges});
        } else if (name == "clear") {
            const auto corners = ParseIntegerList(value, 4, kInt32Min, kInt32Max);
            if (!corners) {
                return "option --clear: '" + value +
                       "' is not X1,Y1,X2,Y2 (four whole numbers, spectrum coordinates)";
            }
            plan.operations.push_back({Operation::Kind::Clear, *corners});
        } else if (name == "brush") {
            const auto brush = ParseIntegerList(value, 3, kInt32Min, kInt32Max);
            if (!brush || (*brush)[2] < 0) {
                return "option --brush: '" + value +
                       "' is not X,Y,R (spectrum coordinates and a radius of 0 or more)";
            }
            plan.operations.push_back({Operation::Kind::Brush, *brush});
        } else if (name == "auto-notch") {
            Operation notch{Operation::Kind::AutoNotch, {}};
            if (!value.empty()) {
                notch.sensitivity = std::stod(value);
            }
            plan.operations.push_back(notch);
        } else if (name == "channels") {
            plan.red = plan.green = plan.blue = false;
            std::size_t start = 0;
            while (start <= value.size()) {
                const std::size_t comma = value.find(',', start);
                const std::string item = value.substr(start, comma - start);
                if (item == "r" || item == "red") {
                    plan.red = true;
                } else if (item == "g" || item == "green") {
                    plan.green = true;
                } else if (item == "b" || item == "blue") {
                    plan.blue = true;
                } else {
                    return "option --channels: '" + value +
                           "' is not a list of r, g and b (for example r,b)";
                }
                if (comma == std::string::npos) {
                    break;
                }
                start = comma + 1;
            }
        } else if (name == "separable") {
            plan.filter.oneDimensional = true;
            if (value == "rows") {
                plan.filter.direction = static_cast<std::uint64_t>(FilterDirection::Rows);
            } else if (value == "columns") {
                plan.filter.direction = static_cast<std::uint64_t>(FilterDirection::Columns);
            } else if (value == "both") {
                plan.filter.direction = static_cast<std::uint64_t>(FilterDirection::RowsAndColumns);
            } else {
                return "option --separable: '" + value + "' is not rows, columns or both";
            }
        }
    }
    plan.saveRecipe = options.Text("save-recipe");
    if (options.Has("recipe")) {
        // A recipe holds every step with its channels, design and transform size.
        for (const char* step : {"lowpass", "bandreject", "clear", "brush", "auto-notch",
                                 "channels", "degree", "separable", "exact-size", "save-recipe"}) {
            if (options.Has(step)) {
                return std::string("option --recipe cannot be combined with --") + step +
                       ": the recipe holds the steps";
            }
        }
    } else if (plan.operations.empty()) {
        return "filter needs at least one of --lowpass, --bandreject, --clear, --brush, "
               "--auto-notch or --recipe";
    }
    plan.report = options.Has("report");
    if (plan.report && !options.Has("auto-notch")) {
        return "option --report lists what --auto-notch finds; give --auto-notch as well";
    }
    if (plan.saveRecipe && options.Has("auto-notch")) {
        return "option --save-recipe cannot record --auto-notch, whose notches depend on each "
               "image";
    }
    if (plan.saveRecipe && options.operands.size() != 1) {
        return "option --save-recipe takes one image, whose size the recipe's frequencies are "
               "measured on";
    }
    if (const auto degree = options.Integer("degree")) {
        plan.filter.degree = static_cast<std::int32_t>(*degree);
    }
    if (std::string problem = ReadSaveOptions(options, plan.save); !problem.empty()) {
        return problem;
    }
    plan.writeSpectra = options.Has("spectrum");
    plan.transformSize = TransformSizeOf(options);
    plan.mirror = options.Has("mirror");
    plan.outputPath = options.Text("output");
    plan.outputFolder = options.Text("directory");
    if (plan.outputPath && plan.outputFolder) {
        return "options --output and --directory cannot be combined";
    }
    if (plan.outputPath && options.operands.size() != 1) {
        return "option --output takes one image; use --directory for several";
    }
    return {};
}

/// True when both paths name the same existing file, or are the same text.
bool SameFile(const std::string& a, const std::string& b) {
    if (a == b) {
        return true;
    }
    std::error_code error;
    return std::filesystem::equivalent(a, b, error) && !error;
}

class FilterRun {
public:
    FilterRun(const FilterPlan& plan, const std::vector<std::string>& inputs, std::ostream& out,
              std::ostream& err)
        : plan_(plan), inputs_(inputs), out_(out), err_(err) {}

    /// Filters one image and writes the result; false when it failed (the reason is on err).
    bool Process(const std::string& input);

private:
    bool Fail(const std::string& file, const std::string& reason) {
        err_ << kCliProgram << ": " << file << ": " << reason << "\n";
        return false;
    }
    std::string OutputFor(const std::string& input) const;
    /// The steps of the plan for an image of the given size: the recipe's, or the operations
    /// given with their coordinates turned into frequencies of that image.
    std::vector<RecipeStep> StepsFor(const ImageBitmap& image) const;
    /// Where the AutoNotch operations run among the steps of StepsFor.
    std::vector<AutoNotchAt> AutoNotches() const;
    /// Finds and notches out the periodic noise of the channel being filtered.
    void RemovePeriodicNoise(double sensitivity);
    /// Filters image in proc_ with steps and takes out its final image and, when asked for, its
    /// power spectrum images; kind names the channel of a single-channel image taken out of a
    /// colour one (Grey for a grey image), and only the steps that reach it run. An error
    /// message when it fails.
    std::string FilterImage(std::unique_ptr<ImageBitmap> image, ChannelKind kind,
                            const std::vector<RecipeStep>& steps, FilterResult& result);
    bool WriteSpectra(const std::string& input, const std::string& output,
                      const FilterResult& result);

    const FilterPlan& plan_;
    const std::vector<std::string>& inputs_;
    std::ostream& out_;
    std::ostream& err_;
    CliProc proc_;
    std::set<std::string> written_;
    std::string input_;      ///< the image being filtered, for the report
    ChannelKind channel_{};  ///< the channel being filtered, for the report
};

std::string FilterRun::OutputFor(const std::string& input) const {
    if (plan_.outputPath) {
        return *plan_.outputPath;
    }
    // A forced format gives a derived name its extension; a name given with -o stays as it is.
    const std::string name = MatchOutputExtension(MakeOutputName(input), plan_.save.mime);
    if (!plan_.outputFolder) {
        return name;
    }
    std::string folder = *plan_.outputFolder;
    if (!folder.empty() && folder.back() != '/') {
        folder += '/';
    }
    return folder + VXFileName(name).GetFileName();
}

std::vector<RecipeStep> FilterRun::StepsFor(const ImageBitmap& image) const {
    if (plan_.recipe) {
        return plan_.recipe->steps;
    }
    RecipeFrame frame;
    frame.sourceWidth = image.Width();
    frame.sourceHeight = image.Height();
    frame.gridWidth = SpectrumSize(image.Width(), plan_.transformSize);
    frame.gridHeight = SpectrumSize(image.Height(), plan_.transformSize);
    std::vector<RecipeStep> steps;
    for (const Operation& operation : plan_.operations) {
        if (operation.kind == Operation::Kind::AutoNotch) {
            continue;  // not a recipe step: see AutoNotches
        }
        const auto& v = operation.values;
        const auto at = [&v](std::size_t k) { return static_cast<std::int32_t>(v[k]); };
        FilterSettings design = plan_.filter;
        switch (operation.kind) {
            case Operation::Kind::LowPass:
                design.cutOff = at(0);
                steps.push_back(MakeFilterStep(FilterKind::LowPass, design));
                break;
            case Operation::Kind::BandReject:
                design.lowCutOff = at(0);
                design.highCutOff = at(1);
                steps.push_back(MakeFilterStep(FilterKind::BandReject, design));
                break;
            case Operation::Kind::Clear:
                steps.push_back(MakeRectangleStep(frame, at(0), at(1), at(2), at(3)));
                break;
            case Operation::Kind::Brush:
                steps.push_back(
                    MakeBrushStep(frame, at(0), at(1), static_cast<std::uint64_t>(v[2])));
                break;
            case Operation::Kind::AutoNotch:
                break;
        }
        steps.back().mirror = plan_.mirror && operation.kind != Operation::Kind::LowPass &&
                              operation.kind != Operation::Kind::BandReject;
        steps.back().red = plan_.red;
        steps.back().green = plan_.green;
        steps.back().blue = plan_.blue;
    }
    return steps;
}

std::vector<AutoNotchAt> FilterRun::AutoNotches() const {
    std::vector<AutoNotchAt> notches;
    std::size_t steps = 0;
    for (const Operation& operation : plan_.operations) {
        if (operation.kind == Operation::Kind::AutoNotch) {
            notches.push_back({steps, operation.sensitivity});
        } else {
            ++steps;
        }
    }
    return notches;
}

void FilterRun::RemovePeriodicNoise(double sensitivity) {
    // Each channel is filtered as an image of its own: the one member is Grey.
    const std::vector<NoiseSpike> spikes =
        proc_.RemovePeriodicNoise(ChannelKind::Grey, sensitivity);
    if (!plan_.report) {
        return;
    }
    static constexpr const char* kNames[] = {"red", "green", "blue", "grey"};
    const char* channel = kNames[static_cast<int>(channel_)];
    if (spikes.empty()) {
        out_ << input_ << ": " << channel << ": no periodic noise found\n";
        return;
    }
    char line[256];
    for (const NoiseSpike& spike : spikes) {
        std::snprintf(line, sizeof line,
                      ": %s: spike at %.2f,%.2f and %.2f,%.2f: period %.2f px, angle %.1f "
                      "degrees, strength %.1f dB\n",
                      channel, spike.x, spike.y, spike.twinX, spike.twinY, spike.period,
                      spike.angle, spike.strength);
        out_ << input_ << line;
    }
}

std::string FilterRun::FilterImage(std::unique_ptr<ImageBitmap> image, ChannelKind kind,
                                   const std::vector<RecipeStep>& steps, FilterResult& result) {
    proc_.ResetHistory();
    proc_.originalImage = std::move(image);
    proc_.transformSize = plan_.transformSize;
    // Nothing shows the spectra while the steps run, and no filter buffers are kept.
    proc_.leanFilters = true;
    if (!proc_.StartBareWorkingState()) {
        proc_.ResetHistory();
        return "not enough memory for the spectra";
    }
    channel_ = kind;
    const bool chosen = kind == ChannelKind::Grey || (kind == ChannelKind::Red && plan_.red) ||
                        (kind == ChannelKind::Green && plan_.green) ||
                        (kind == ChannelKind::Blue && plan_.blue);
    const std::vector<AutoNotchAt> notches = AutoNotches();
    auto notch = notches.begin();
    for (std::size_t i = 0; i <= steps.size(); ++i) {
        for (; notch != notches.end() && notch->before == i; ++notch) {
            if (chosen) {
                RemovePeriodicNoise(notch->sensitivity);
            }
        }
        if (i == steps.size()) {
            break;
        }
        const RecipeStep& step = steps[i];
        const bool reaches = kind == ChannelKind::Grey || (kind == ChannelKind::Red && step.red) ||
                             (kind == ChannelKind::Green && step.green) ||
                             (kind == ChannelKind::Blue && step.blue);
        if (reaches && !proc_.ApplyStep(step)) {
            proc_.ResetHistory();
            return "not enough memory for the filter";
        }
    }
    if (plan_.writeSpectra) {
        // The power spectrum images show the spectra the final image is made from; they are
        // rendered first, as the final image uses the spectra up.
        const ProcState& state = *proc_.workingState;
        std::vector<std::pair<ChannelKind, const ChannelSpectrum*>> channels;
        if (state.isColor) {
            channels = {{ChannelKind::Red, &state.spectrumRed},
                        {ChannelKind::Green, &state.spectrumGreen},
                        {ChannelKind::Blue, &state.spectrumBlue}};
        } else {
            channels = {{kind, &state.spectrumGrey}};
        }
        for (const auto& [channel, spectrum] : channels) {
            auto power = RenderPowerSpectrum(spectrum->re.get(), spectrum->im.get(),
                                             proc_.spectrumWidth, proc_.spectrumHeight);
            if (!power) {
                proc_.ResetHistory();
                return "not enough memory for the power spectrum images";
            }
            result.powers.emplace_back(channel, std::move(power));
        }
    }
    // Nothing reads the spectra after the final image: they are transformed back in their own
    // planes.
    proc_.CreateFinalImage(true);
    ProcState* done = proc_.CurrentState();
    if (proc_.workingState || done == nullptr || !done->image) {
        proc_.ResetHistory();
        return "not enough memory for the final image";
    }
    result.image = std::move(done->image);
    proc_.ResetHistory();
    return {};
}

bool FilterRun::WriteSpectra(const std::string& input, const std::string& output,
                             const FilterResult& result) {
    const std::string prefix = VXFileName(output).GetFolder() + VXFileName(output).fileName;
    for (const auto& [channel, power] : result.powers) {
        const std::string target = prefix + PowerSpectrumSuffix(channel);
        const IoResult saved = SaveGreyPngFile(*power, target);
        if (!saved) {
            return Fail(input, saved.message);
        }
        out_ << "wrote " << target << "\n";
    }
    return true;
}

bool FilterRun::Process(const std::string& input) {
    input_ = input;
    const std::string output = OutputFor(input);
    // Never write over an image of this run, the one being filtered least of all, nor let the
    // recipe replace an image.
    for (const std::string& other : inputs_) {
        if (SameFile(output, other)) {
            return Fail(input, "refusing to overwrite the input image " + other);
        }
        if (plan_.saveRecipe && SameFile(*plan_.saveRecipe, other)) {
            return Fail(input,
                        "refusing to overwrite the input image " + other + " with the recipe");
        }
    }
    if (plan_.saveRecipe && SameFile(*plan_.saveRecipe, output)) {
        return Fail(input, "the recipe and the result would both be written to " + output);
    }
    if (written_.count(output) != 0) {
        return Fail(input, "would overwrite " + output + ", written for an earlier image");
    }

    LoadLimits limits;
    limits.work = plan_.writeSpectra ? ImageWork::FilterWithSpectra : ImageWork::Filter;
    limits.transformSize = plan_.transformSize;
    std::unique_ptr<ImageBitmap> image;
    const IoResult loaded = LoadImageFile(image, input, limits);
    if (!loaded) {
        return Fail(input, loaded.message);
    }
    if (!loaded.warning.empty()) {
        err_ << kCliProgram << ": " << input << ": warning: " << loaded.warning << "\n";
    }
    const std::vector<RecipeStep> steps = StepsFor(*image);
    const RecipeFrame frame{image->Width(), image->Height(),
                            SpectrumSize(image->Width(), plan_.transformSize),
                            SpectrumSize(image->Height(), plan_.transformSize)};
    FilterResult result;
    if ((image->Format() == PixelFormat32bppRGB || image->Format() == PixelFormat48bppRGB) &&
        image->Width() > 1) {
        // A colour image is filtered one channel at a time, each as an image of its own. The
        // channels never mix, so every step and both transforms give each the values they give
        // with all three spectra held at once, in a third of the memory.
        const ChannelKind channels[] = {ChannelKind::Red, ChannelKind::Green, ChannelKind::Blue};
        std::vector<std::unique_ptr<ImageBitmap>> parts;
        for (const ChannelKind channel : channels) {
            parts.push_back(ExtractChannel(*image, channel));
            if (!parts.back()) {
                return Fail(input, "not enough memory for the channels");
            }
        }
        image.reset();
        for (std::size_t c = 0; c < parts.size(); ++c) {
            FilterResult part;
            const std::string problem = FilterImage(std::move(parts[c]), channels[c], steps, part);
            if (!problem.empty()) {
                return Fail(input, problem);
            }
            parts[c] = std::move(part.image);
            for (auto& power : part.powers) {
                result.powers.push_back(std::move(power));
            }
        }
        result.image = MergeChannels(*parts[0], *parts[1], *parts[2]);
        if (!result.image) {
            return Fail(input, "not enough memory for the final image");
        }
    } else if (const std::string problem =
                   FilterImage(std::move(image), ChannelKind::Grey, steps, result);
               !problem.empty()) {
        return Fail(input, problem);
    }
    // The quality is for the lossy formats; a PNG would take it for a compression level.
    SaveOptions save = plan_.save;
    if (!IsLossyMime(save.mime.empty() ? MimeForFileName(output) : save.mime)) {
        save.quality = -1;
    }
    const IoResult saved = SaveImageFile(*result.image, output, save);
    if (!saved) {
        return Fail(input, saved.message);
    }
    written_.insert(output);
    out_ << "wrote " << output << "\n";
    if (!saved.warning.empty()) {
        err_ << kCliProgram << ": " << output << ": warning: " << saved.warning << "\n";
    }
    if (!WriteSpectra(input, output, result)) {
        return false;
    }
    if (plan_.saveRecipe) {
        Recipe recipe;
        recipe.transformSize = plan_.transformSize;
        recipe.sourceWidth = frame.sourceWidth;
        recipe.sourceHeight = frame.sourceHeight;
        recipe.steps = steps;
        if (const IoResult written = SaveRecipeFile(*plan_.saveRecipe, recipe); !written) {
            return Fail(*plan_.saveRecipe, written.message);
        }
        out_ << "wrote " << *plan_.saveRecipe << "\n";
    }
    return true;
}

}  // namespace

const CommandSpec& FilterCommandSpec() {
    static const CommandSpec definition = {
        "filter",
        "Filter or clear the spectra of each image and write the result",
        "IMAGE...",
        1,
        {
            {"lowpass", 0, OptionKind::Integer, "CUT",
             "Butterworth low-pass with cut-off CUT percent of the maximum frequency", 0, 100,
             true},
            {"bandreject", 0, OptionKind::Text, "LOW,HIGH",
             "Butterworth band-reject between LOW and HIGH percent (0 <= LOW < HIGH <= 100)", 0, 0,
             true},
            {"degree", 0, OptionKind::Integer, "N", "filter degree (default 2)", 1, 6},
            {"separable", 0, OptionKind::Text, "AXES",
             "filter rows, columns or both with 1-D responses instead of the radial 2-D mask"},
            {"clear", 0, OptionKind::Text, "X1,Y1,X2,Y2",
             "clear columns X1..X2 of rows Y1..Y2-1 of the spectrum (repeatable)", 0, 0, true},
            {"brush", 0, OptionKind::Text, "X,Y,R",
             "clear the disc of radius R around spectrum element (X, Y) (repeatable)", 0, 0, true},
            MirrorOption(),
            {"auto-notch", 0, OptionKind::Real, "SENSITIVITY",
             "find the spikes of periodic noise (screens, scan lines, moire) in each spectrum and "
             "remove them with notches sized to each spike; a higher SENSITIVITY finds weaker "
             "ones (default 1)",
             kMinNoiseSensitivity, kMaxNoiseSensitivity, false, true},
            {"report", 0, OptionKind::Flag, "",
             "list each spike --auto-notch finds: its spectrum position and its twin's, period "
             "in pixels, angle in degrees (0: vertical stripes, 90: horizontal lines) and "
             "strength above the background in dB"},
            {"channels", 0, OptionKind::Text, "LIST",
             "colour channels to edit, any of r,g,b (default all; grey images have one)"},
            {"output", 'o', OptionKind::Text, "PATH", "write the result to PATH (one image only)"},
            {"directory", 'd', OptionKind::Text, "DIR",
             "write the results into DIR (default: beside each image, as NAME_flt.EXT)"},
            FormatOption(),
            QualityOption(),
            {"spectrum", 0, OptionKind::Flag, "",
             "also write the power spectrum images of the result (NAME_power_*.png)"},
            ExactSizeOption(),
            RecipeOption(),
            {"save-recipe", 0, OptionKind::Text, "FILE",
             "also write the steps given as a recipe file, their coordinates as frequencies of the "
             "image (one image only)"},
            MaxMemoryOption(),
        },
    };
    return definition;
}

int RunFilterCommand(const ParsedOptions& options, std::ostream& out, std::ostream& err) {
    FilterPlan plan;
    if (const std::string problem = MakePlan(options, plan); !problem.empty()) {
        err << kCliProgram << ": " << problem << "\n";
        return CliExitUsage;
    }
    if (!ReadRecipeOption(options, plan.recipe, err)) {
        return CliExitFailure;
    }
    if (plan.recipe) {
        plan.transformSize = plan.recipe->transformSize;
    }
    if (plan.outputFolder) {
        struct stat info {};
        if (::stat(plan.outputFolder->c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
            err << kCliProgram << ": " << *plan.outputFolder << ": output folder not found\n";
            return CliExitFailure;
        }
    }
    FilterRun run(plan, options.operands, out, err);
    bool allDone = true;
    for (const std::string& input : options.operands) {
        allDone = run.Process(input) && allDone;
    }
    return allDone ? CliExitSuccess : CliExitFailure;
}

}  // namespace quarvel
