#include "recipe/RecipeFile.h"

#include <QByteArray>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <QString>
#include <QStringList>
#include <cmath>
#include <initializer_list>
#include <optional>

#include "imageio/SafeFileWrite.h"

namespace quarvel {

namespace {

constexpr char kFormatName[] = "FFT Quarvel recipe";
constexpr int kVersion = 1;
/// The largest frequency or brush radius taken: a 32-bit coordinate over a one-pixel image.
constexpr double kMaxFrequency = 2147483648.0;

/// name in double quotes, as a field is named in a message.
std::string Quoted(const char* name) {
    std::string quoted(1, '"');
    quoted += name;
    quoted += '"';
    return quoted;
}

QString Text(const char* ascii) {
    return QString::fromLatin1(ascii);
}

QJsonObject SizeObject(std::uint64_t width, std::uint64_t height) {
    QJsonObject size;
    size.insert(Text("width"), static_cast<double>(width));
    size.insert(Text("height"), static_cast<double>(height));
    return size;
}

const char* SeparableName(const FilterSettings& filter) {
    if (!filter.oneDimensional) {
        return "no";
    }
    switch (static_cast<FilterDirection>(filter.direction)) {
        case FilterDirection::Rows:
            return "rows";
        case FilterDirection::Columns:
            return "columns";
        case FilterDirection::RowsAndColumns:
            break;
    }
    return "both";
}

QJsonObject StepObject(const RecipeStep& step) {
    QJsonObject object;
    QJsonArray channels;
    for (const auto& [on, name] :
         {std::pair{step.red, "red"}, {step.green, "green"}, {step.blue, "blue"}}) {
        if (on) {
            channels.append(Text(name));
        }
    }
    object.insert(Text("channels"), channels);
    const auto number = [&object](const char* name, double value) {
        object.insert(Text(name), value);
    };
    switch (step.kind) {
        case RecipeStepKind::LowPass:
        case RecipeStepKind::BandReject:
            object.insert(Text("step"),
                          Text(step.kind == RecipeStepKind::LowPass ? "lowpass" : "bandreject"));
            number("degree", step.filter.degree);
            object.insert(Text("separable"), Text(SeparableName(step.filter)));
            if (step.kind == RecipeStepKind::LowPass) {
                number("cutoff", step.filter.cutOff);
            } else {
                number("low", step.filter.lowCutOff);
                number("high", step.filter.highCutOff);
            }
            return object;
        case RecipeStepKind::Rectangle:
            object.insert(Text("step"), Text("rectangle"));
            number("left", step.left);
            number("top", step.top);
            number("right", step.right);
            number("bottom", step.bottom);
            break;
        case RecipeStepKind::Brush:
            object.insert(Text("step"), Text("brush"));
            number("x", step.x);
            number("y", step.y);
            number("radius", step.radius);
            break;
        case RecipeStepKind::Area: {
            object.insert(Text("step"), Text("area"));
            const RecipeFrame& frame = step.area.frame;
            object.insert(Text("grid"), SizeObject(frame.gridWidth, frame.gridHeight));
            object.insert(Text("source"), SizeObject(frame.sourceWidth, frame.sourceHeight));
            QJsonArray rows;
            QJsonArray row;
            for (std::size_t k = 0; k < step.area.runs.size(); ++k) {
                const AreaRun& run = step.area.runs[k];
                if (k == 0 || run.y != step.area.runs[k - 1].y) {
                    if (!row.isEmpty()) {
                        rows.append(row);
                    }
                    row = QJsonArray{static_cast<double>(run.y)};
                }
                row.append(static_cast<double>(run.x0));
                row.append(static_cast<double>(run.x1));
            }
            if (!row.isEmpty()) {
                rows.append(row);
            }
            object.insert(Text("rows"), rows);
            break;
        }
    }
    object.insert(Text("mirror"), step.mirror);
    return object;
}

/// Reads the fields of one JSON object, keeping the first problem met, named by where the
/// object sits ("steps[2]", "steps[2].grid").
class FieldReader {
public:
    FieldReader(QJsonObject object, std::string where, std::string& problem)
        : object_(std::move(object)), where_(std::move(where)), problem_(problem) {}

    bool Failed() const { return !problem_.empty(); }
    const std::string& Where() const { return where_; }

    /// Refuses a field that is not one of names.
    void OnlyFields(std::initializer_list<const char*> names) {
        for (const QString& key : object_.keys()) {
            bool known = false;
            for (const char* name : names) {
                known = known || key == Text(name);
            }
            if (!known && !Failed()) {
                Fail("unknown field \"" + key.toStdString() + "\"");
            }
        }
    }

    /// The field's value; an undefined value (and a problem, when required) when it is absent.
    QJsonValue Field(const char* name, bool required = true) {
        const QJsonValue value = object_.value(Text(name));
        if (value.isUndefined() && required && !Failed()) {
            Fail(Quoted(name) + " is missing");
        }
        return value;
    }

    /// A number within [minimum, maximum]; whole when asked.
    std::optional<double> Number(const char* name, double minimum, double maximum, bool whole) {
        const QJsonValue value = Field(name);
        if (Failed()) {
            return std::nullopt;
        }
        const double number = value.toDouble();
        if (!value.isDouble() || !std::isfinite(number) || number < minimum || number > maximum ||
            (whole && number != std::floor(number))) {
            Fail(NumberProblem(name, minimum, maximum, whole));
            return std::nullopt;
        }
        return number;
    }

    std::optional<std::int64_t> Whole(const char* name, std::int64_t minimum,
                                      std::int64_t maximum) {
        const auto number =
            Number(name, static_cast<double>(minimum), static_cast<double>(maximum), true);
        return number ? std::optional<std::int64_t>(static_cast<std::int64_t>(*number))
                      : std::nullopt;
    }

    /// One of the texts in choices: its index.
    std::optional<std::size_t> Choice(const char* name,
                                      std::initializer_list<const char*> choices) {
        const QJsonValue value = Field(name);
        if (Failed()) {
            return std::nullopt;
        }
        std::string list;
        std::size_t index = 0;
        for (const char* choice : choices) {
            if (value.isString() && value.toString() == Text(choice)) {
                return index;
            }
            list += (index == 0 ? "\"" : index + 1 == choices.size() ? " or \"" : ", \"");
            list += choice;
            list += "\"";
            ++index;
        }
        Fail(Quoted(name) + " must be " + list);
        return std::nullopt;
    }

    void Fail(const std::string& what) {
        if (!Failed()) {
            problem_ = where_ + ": " + what;
        }
    }

    static std::string NumberProblem(const char* name, double minimum, double maximum, bool whole) {
        const auto show = [](double v) { return QString::number(v, 'g', 12).toStdString(); };
        return Quoted(name) + " must be " + (whole ? "a whole number" : "a number") + " from " +
               show(minimum) + " to " + show(maximum);
    }

private:
    QJsonObject object_;
    std::string where_;
    std::string& problem_;
};

/// Reads {"width": W, "height": H} with sides from 1 to kMaxRecipeSide.
bool ReadSize(FieldReader& parent, const char* name, std::uint64_t& width, std::uint64_t& height,
              std::string& problem) {
    const QJsonValue value = parent.Field(name);
    if (parent.Failed()) {
        return false;
    }
    if (!value.isObject()) {
        parent.Fail(Quoted(name) + " must be an object with width and height");
        return false;
    }
    FieldReader size(value.toObject(), parent.Where() + "." + name, problem);
    size.OnlyFields({"width", "height"});
    const auto w = size.Whole("width", 1, kMaxRecipeSide);
    const auto h = size.Whole("height", 1, kMaxRecipeSide);
    if (!w || !h || size.Failed()) {
        return false;
    }
    width = static_cast<std::uint64_t>(*w);
    height = static_cast<std::uint64_t>(*h);
    return true;
}

/// Reads the rows of an area step into its runs; runsLeft counts down the runs still allowed.
bool ReadRows(FieldReader& reader, RecipeArea& area, std::size_t& runsLeft) {
    const QJsonValue value = reader.Field("rows");
    if (reader.Failed()) {
        return false;
    }
    if (!value.isArray()) {
        reader.Fail("\"rows\" must be a list of rows [y, x0, x1, ...]");
        return false;
    }
    const QJsonArray rows = value.toArray();
    std::int64_t lastRow = -1;
    for (qsizetype r = 0; r < rows.size(); ++r) {
        const std::string where = "\"rows\"[" + std::to_string(r) + "]";
        const QJsonArray row = rows.at(r).toArray();
        if (!rows.at(r).isArray() || row.size() < 3 || row.size() % 2 == 0) {
            reader.Fail(where + " must be [y, x0, x1, ...] with one or more pairs of columns");
            return false;
        }
        const auto whole = [&](qsizetype k, double low, double high) -> std::optional<double> {
            const QJsonValue item = row.at(k);
            const double number = item.toDouble();
            if (!item.isDouble() || !(number >= low && number <= high) ||
                number != std::floor(number)) {
                return std::nullopt;
            }
            return number;
        };
        const auto y = whole(0, static_cast<double>(lastRow + 1),
                             static_cast<double>(area.frame.gridHeight) - 1);
        if (!y) {
            reader.Fail(where +
                        ": the row must be a whole number below the grid height, after "
                        "the row before it");
            return false;
        }
        lastRow = static_cast<std::int64_t>(*y);
        double lastEnd = 0;
        for (qsizetype k = 1; k + 1 < row.size(); k += 2) {
            const auto x0 = whole(k, lastEnd, static_cast<double>(area.frame.gridWidth) - 1);
            const auto x1 = x0 ? whole(k + 1, *x0 + 1, static_cast<double>(area.frame.gridWidth))
                               : std::nullopt;
            if (!x1) {
                reader.Fail(where +
                            ": columns must be whole numbers x0 < x1 <= the grid width, "
                            "each run after the one before it");
                return false;
            }
            if (runsLeft == 0) {
                reader.Fail("more than " + std::to_string(kMaxRecipeRuns) +
                            " runs in the recipe's areas");
                return false;
            }
            --runsLeft;
            area.runs.push_back({static_cast<std::uint32_t>(*y), static_cast<std::uint32_t>(*x0),
                                 static_cast<std::uint32_t>(*x1)});
            lastEnd = *x1;
        }
    }
    return true;
}

/// Reads one step; the problem names it by where.
bool ReadStep(const QJsonValue& value, const std::string& where, RecipeStep& step,
              std::size_t& runsLeft, std::string& problem) {
    if (!value.isObject()) {
        problem = where + ": a step must be an object";
        return false;
    }
    FieldReader reader(value.toObject(), where, problem);
    const auto kind =
        reader.Choice("step", {"lowpass", "bandreject", "rectangle", "brush", "area"});
    if (!kind) {
        return false;
    }
    step.kind = static_cast<RecipeStepKind>(*kind);

    const QJsonValue channels = reader.Field("channels", false);
    if (!channels.isUndefined()) {
        step.red = step.green = step.blue = false;
        bool valid = channels.isArray();
        for (const QJsonValue& channel : channels.toArray()) {
            const QString name = channel.toString();
            bool& on = name == Text("red")     ? step.red
                       : name == Text("green") ? step.green
                                               : step.blue;
            valid = valid && channel.isString() && !on &&
                    (name == Text("red") || name == Text("green") || name == Text("blue"));
            on = true;
        }
        if (!valid) {
            reader.Fail(
                "\"channels\" must be a list of \"red\", \"green\" and \"blue\", each once");
            return false;
        }
    }

    if (step.kind == RecipeStepKind::LowPass || step.kind == RecipeStepKind::BandReject) {
        const bool low = step.kind == RecipeStepKind::LowPass;
        if (low) {
            reader.OnlyFields({"step", "channels", "degree", "separable", "cutoff"});
        } else {
            reader.OnlyFields({"step", "channels", "degree", "separable", "low", "high"});
        }
        const auto degree = reader.Whole("degree", 1, 6);
        const auto separable = reader.Choice("separable", {"no", "both", "rows", "columns"});
        if (!degree || !separable) {
            return false;
        }
        step.filter.degree = static_cast<std::int32_t>(*degree);
        step.filter.oneDimensional = *separable != 0;
        step.filter.direction = *separable == 0 ? 0 : *separable - 1;
        if (low) {
            const auto cut = reader.Whole("cutoff", 0, 100);
            if (!cut) {
                return false;
            }
            step.filter.cutOff = static_cast<std::int32_t>(*cut);
        } else {
            const auto lowEdge = reader.Whole("low", 0, 99);
            const auto highEdge = lowEdge ? reader.Whole("high", *lowEdge + 1, 100) : std::nullopt;
            if (!highEdge) {
                return false;
            }
            step.filter.lowCutOff = static_cast<std::int32_t>(*lowEdge);
            step.filter.highCutOff = static_cast<std::int32_t>(*highEdge);
        }
        return !reader.Failed();
    }

    const QJsonValue mirror = reader.Field("mirror", false);
    if (!mirror.isUndefined() && !mirror.isBool()) {
        reader.Fail("\"mirror\" must be true or false");
        return false;
    }
    step.mirror = mirror.toBool(false);
    const auto frequency = [&](const char* name, double& out, double minimum) {
        const auto number = reader.Number(name, minimum, kMaxFrequency, false);
        out = number.value_or(0.0);
        return number.has_value();
    };
    switch (step.kind) {
        case RecipeStepKind::Rectangle:
            reader.OnlyFields({"step", "channels", "mirror", "left", "top", "right", "bottom"});
            return frequency("left", step.left, -kMaxFrequency) &&
                   frequency("top", step.top, -kMaxFrequency) &&
                   frequency("right", step.right, -kMaxFrequency) &&
                   frequency("bottom", step.bottom, -kMaxFrequency) && !reader.Failed();
        case RecipeStepKind::Brush:
            reader.OnlyFields({"step", "channels", "mirror", "x", "y", "radius"});
            return frequency("x", step.x, -kMaxFrequency) &&
                   frequency("y", step.y, -kMaxFrequency) &&
                   frequency("radius", step.radius, 0.0) && !reader.Failed();
        case RecipeStepKind::Area: {
            reader.OnlyFields({"step", "channels", "mirror", "grid", "source", "rows"});
            RecipeFrame& frame = step.area.frame;
            return ReadSize(reader, "grid", frame.gridWidth, frame.gridHeight, problem) &&
                   ReadSize(reader, "source", frame.sourceWidth, frame.sourceHeight, problem) &&
                   ReadRows(reader, step.area, runsLeft) && !reader.Failed();
        }
        case RecipeStepKind::LowPass:
        case RecipeStepKind::BandReject:
            break;
    }
    return false;
}

/// "line L, column C" of a byte offset into text.
std::string PlaceOf(std::string_view text, std::size_t offset) {
    std::size_t line = 1;
    std::size_t column = 1;
    for (std::size_t k = 0; k < offset && k < text.size(); ++k) {
        if (text[k] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

}  // namespace

std::string RecipeToJson(const Recipe& recipe) {
    QJsonObject head;
    head.insert(Text("format"), Text(kFormatName));
    head.insert(Text("version"), kVersion);
    head.insert(Text("transform"),
                Text(recipe.transformSize == TransformSize::Exact ? "image-size" : "power-of-two"));
    head.insert(Text("source"), SizeObject(recipe.sourceWidth, recipe.sourceHeight));
    // The head is indented as Qt writes it; the steps follow one compact object a line, so that
    // a long area stays on its own line instead of one number a line.
    QByteArray text = QJsonDocument(head).toJson(QJsonDocument::Indented);
    text.chop(3);  // "\n}\n"
    text += ",\n    \"steps\": [";
    for (std::size_t k = 0; k < recipe.steps.size(); ++k) {
        text += k == 0 ? "\n        " : ",\n        ";
        text += QJsonDocument(StepObject(recipe.steps[k])).toJson(QJsonDocument::Compact);
    }
    text += "\n    ]\n}\n";
    return text.toStdString();
}

std::string ParseRecipe(std::string_view text, Recipe& recipe) {
    recipe = Recipe{};
    if (text.size() > kMaxRecipeFileBytes) {
        return "larger than " + std::to_string(kMaxRecipeFileBytes >> 20) + " MB";
    }
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(
        QByteArray(text.data(), static_cast<qsizetype>(text.size())), &error);
    if (error.error != QJsonParseError::NoError) {
        return PlaceOf(text, static_cast<std::size_t>(std::max(error.offset, 0))) +
               ": not valid JSON: " + error.errorString().toStdString();
    }
    if (!document.isObject()) {
        return "not a recipe: the file holds no JSON object";
    }
    std::string problem;
    FieldReader reader(document.object(), "recipe", problem);
    const auto format = reader.Choice("format", {kFormatName});
    if (!format) {
        return "not a recipe: " + problem;
    }
    const QJsonValue version = reader.Field("version");
    if (reader.Failed()) {
        return problem;
    }
    if (!version.isDouble()) {
        return "recipe: \"version\" must be a number";
    }
    if (version.toDouble() != kVersion) {
        return "recipe version " + QString::number(version.toDouble()).toStdString() +
               " is not known (this program reads version " + std::to_string(kVersion) + ")";
    }
    reader.OnlyFields({"format", "version", "transform", "source", "steps"});
    const auto road = reader.Choice("transform", {"power-of-two", "image-size"});
    if (!road || !ReadSize(reader, "source", recipe.sourceWidth, recipe.sourceHeight, problem)) {
        return problem;
    }
    recipe.transformSize = *road == 0 ? TransformSize::PowerOfTwo : TransformSize::Exact;
    const QJsonValue steps = reader.Field("steps");
    if (reader.Failed()) {
        return problem;
    }
    if (!steps.isArray()) {
        return "recipe: \"steps\" must be a list";
    }
    const QJsonArray list = steps.toArray();
    if (static_cast<std::size_t>(list.size()) > kMaxRecipeSteps) {
        return "recipe: more than " + std::to_string(kMaxRecipeSteps) + " steps";
    }
    recipe.steps.resize(static_cast<std::size_t>(list.size()));
    std::size_t runsLeft = kMaxRecipeRuns;
    for (qsizetype k = 0; k < list.size(); ++k) {
        if (!ReadStep(list.at(k), "steps[" + std::to_string(k) + "]",
                      recipe.steps[static_cast<std::size_t>(k)], runsLeft, problem)) {
            recipe = Recipe{};
            return problem;
        }
    }
    return {};
}

IoResult LoadRecipeFile(const std::string& path, Recipe& recipe) {
    recipe = Recipe{};
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) {
        return IoResult::Failure("cannot read the recipe: " + file.errorString().toStdString());
    }
    // One byte more than allowed tells a file that is too large without reading all of it.
    const QByteArray bytes = file.read(static_cast<qint64>(kMaxRecipeFileBytes) + 1);
    if (file.error() != QFileDevice::NoError) {
        return IoResult::Failure("cannot read the recipe: " + file.errorString().toStdString());
    }
    const std::string problem = ParseRecipe(
        std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), recipe);
    return problem.empty() ? IoResult::Success() : IoResult::Failure(problem);
}

IoResult SaveRecipeFile(const std::string& path, const Recipe& recipe) {
    const std::string text = RecipeToJson(recipe);
    const std::string problem = WriteFileReplacing(path, text.data(), text.size());
    return problem.empty() ? IoResult::Success() : IoResult::Failure(problem);
}

}  // namespace quarvel
