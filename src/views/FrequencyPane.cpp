#include "views/FrequencyPane.h"

#include <algorithm>
#include <array>
#include <functional>
#include <new>
#include <utility>
#include <vector>

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include "filters/PeriodicNoise.h"
#include "history/ProcState.h"
#include "ui/CUserInteraction.h"

namespace quarvel {

namespace {

/// The factor on the brush's base radius of each Brush Size entry.
constexpr std::array<float, 6> kBrushSizeFactors = {0.5f, 1.0f, 1.5f, 2.0f, 3.0f, 4.0f};

/// The power spectrum image that sizes the pane: red for a colour state, grey for a grey one.
const ImageBitmap* SizingSpectrum(const ProcState* state) {
    if (!state) {
        return nullptr;
    }
    return state->isColor ? state->powerRed.get() : state->powerGrey.get();
}

/// A 16 x 16 opaque check box: white with a dark border, ticked or empty.
QImage MakeCheckIcon(bool ticked) {
    const int size = CPowerSpectrumView::kIconSize;
    QImage icon(size, size, QImage::Format_RGB888);
    icon.fill(QColor(40, 40, 40));
    QPainter painter(&icon);
    painter.fillRect(QRect(1, 1, size - 2, size - 2), Qt::white);
    if (ticked) {
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath tick;
        tick.moveTo(4.0, 8.0);
        tick.lineTo(7.0, 11.5);
        tick.lineTo(12.5, 4.0);
        painter.setPen(QPen(QColor(0, 128, 0), 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPath(tick);
    }
    return icon;
}

/// Whether p lies in r, edges included.
bool IconContains(const std::optional<CanvasRect>& r, CanvasPoint p) {
    return r && r->left <= p.x && p.x <= r->right && r->top <= p.y && p.y <= r->bottom;
}

}  // namespace

CPowerSpectrumView::CPowerSpectrumView(CPaneDocument& document, CPaneWindow& window,
                                       QWidget* parent)
    : CSelectionPane(document, window, 1, 3, parent),
      tickedIcon_(MakeCheckIcon(true)),
      emptyIcon_(MakeCheckIcon(false)) {}

CPowerSpectrumView::~CPowerSpectrumView() = default;

void CPowerSpectrumView::OnNewImage() {
    Window().SetSpectrumFrequency(std::nullopt);
    SetActivePanel(0);
    ClearImageCache();
    const ProcState* state = Document().SpectrumState();
    const ImageBitmap* spectrum = SizingSpectrum(state);
    const std::int32_t w = spectrum ? static_cast<std::int32_t>(spectrum->Width()) : 0;
    const std::int32_t h = spectrum ? static_cast<std::int32_t>(spectrum->Height()) : 0;
    ResetSelection(w, h);
    RebuildPanels(1, state && state->isColor ? 3 : 1);
    if (spectrum) {
        ComputeBrushSize();
    }
    ResetZoom(w, h);
}

void CPowerSpectrumView::ComputeBrushSize() {
    const ImageBitmap* spectrum = SizingSpectrum(Document().SpectrumState());
    if (!spectrum || brushSizeIndex < 1 || brushSizeIndex > kBrushSizeFactors.size()) {
        return;
    }
    // Whole hundredths of the larger side, times the entry's factor in single precision.
    const std::uint32_t base = std::max(spectrum->Height() / 100, spectrum->Width() / 100);
    const float radius = static_cast<float>(base) * kBrushSizeFactors[brushSizeIndex - 1u];
    brushSize = static_cast<std::uint16_t>(static_cast<double>(radius) + 0.5);
}

std::optional<CanvasRect> CPowerSpectrumView::CheckIconRect(ChannelKind channel) const {
    switch (channel) {
        case ChannelKind::Red:
            return redIconRect_;
        case ChannelKind::Green:
            return greenIconRect_;
        case ChannelKind::Blue:
            return blueIconRect_;
        case ChannelKind::Grey:
            break;
    }
    return std::nullopt;
}

bool CPowerSpectrumView::HasImageToShow() const {
    const ProcState* state = Document().SpectrumState();
    return state && (state->powerRed || state->powerGrey);
}

void CPowerSpectrumView::SetBrushSizeEntry(std::uint8_t entry) {
    brushSizeIndex = entry;
    ComputeBrushSize();
}

bool CPowerSpectrumView::PanelEnabled(std::int32_t i) const {
    if (Layout().PanelCount() != 3) {
        return true;
    }
    switch (i) {
        case 0:
            return redEnabled;
        case 1:
            return greenEnabled;
        case 2:
            return blueEnabled;
        default:
            return false;
    }
}

bool CPowerSpectrumView::PanelShowsOutline(std::int32_t i) const {
    return PanelEnabled(i);
}

std::vector<ChannelKind> CPowerSpectrumView::EditOrder() const {
    const ProcState* state = Document().SpectrumState();
    if (!state || !state->isColor) {
        return {ChannelKind::Grey};
    }
    const std::array<ChannelKind, 3> channels = {ChannelKind::Red, ChannelKind::Green,
                                                 ChannelKind::Blue};
    const std::array<bool, 3> enabled = {redEnabled, greenEnabled, blueEnabled};
    const std::int32_t first = ActivePanel();
    if (first < 0 || first > 2 || !enabled[static_cast<std::size_t>(first)]) {
        return {};
    }
    std::vector<ChannelKind> order = {channels[static_cast<std::size_t>(first)]};
    for (std::size_t k = 0; k < channels.size(); ++k) {
        if (enabled[k] && static_cast<std::int32_t>(k) != first) {
            order.push_back(channels[k]);
        }
    }
    return order;
}

void CPowerSpectrumView::LeftButtonDown(CanvasPoint p, Qt::KeyboardModifiers modifiers) {
    const std::int32_t panel = Layout().PanelAtPoint(p);
    SetActivePanel(panel);
    if (panel == -1) {
        // Outside every panel only the check icons react.
        if (IconContains(redIconRect_, p)) {
            redEnabled = !redEnabled;
        } else if (IconContains(greenIconRect_, p)) {
            greenEnabled = !greenEnabled;
        } else if (IconContains(blueIconRect_, p)) {
            blueEnabled = !blueEnabled;
        } else {
            return;
        }
        ContentChanged();
        return;
    }
    if (!PanelEnabled(panel)) {
        Document().ShowInformation(QStringLiteral("This channel is disabled"));
        return;
    }
    DispatchTool(CurrentTool(), ToolPhase::Down, modifiers, p);
}

void CPowerSpectrumView::BrushTool(ToolPhase phase, Qt::KeyboardModifiers modifiers,
                                   CanvasPoint p) {
    static_cast<void>(modifiers);
    if (phase != ToolPhase::Down) {
        return;
    }
    // Only a press on the spectrum itself clears: the grey margin around a spectrum smaller
    // than its panel, and the column or row past its last element, change nothing.
    const auto element = ElementAt(ActivePanel(), p);
    if (!element) {
        return;
    }
    RunEdit([&] {
        ApplyToEditedChannels(
            MakeBrushStep(Document().StepFrame(), element->x, element->y, brushSize));
    });
    RepaintNow();
}

std::optional<CanvasPoint> CPowerSpectrumView::ElementAt(std::int32_t panel, CanvasPoint p) const {
    const CanvasPanel* shown = Layout().Panel(panel);
    const auto element = Layout().WindowToImage(panel, p);
    if (!shown || !shown->HasImage() || !element || p.x < shown->destRect.left ||
        p.y < shown->destRect.top || element->x < 0 || element->y < 0 ||
        element->x >= shown->imageWidth || element->y >= shown->imageHeight) {
        return std::nullopt;
    }
    return CanvasPoint{element->x, element->y};
}

std::optional<SpectrumFrequency> CPowerSpectrumView::FrequencyAtPoint(CanvasPoint p) const {
    const ImageBitmap* image = Document().IsBusy() ? nullptr : Document().OriginalImage();
    const std::int32_t panel = Layout().PanelAtPoint(p);
    const auto element = ElementAt(panel, p);
    if (image == nullptr || !element) {
        return std::nullopt;
    }
    // The panel shows the whole spectrum: its image size is the plane's.
    const CanvasPanel& shown = *Layout().Panel(panel);
    return FrequencyAt(element->x, element->y, static_cast<std::uint64_t>(shown.imageWidth),
                       static_cast<std::uint64_t>(shown.imageHeight), image->Width(),
                       image->Height());
}

void CPowerSpectrumView::mouseMoveEvent(QMouseEvent* event) {
    CSelectionPane::mouseMoveEvent(event);
    const QPoint p = event->position().toPoint();
    Window().SetSpectrumFrequency(FrequencyAtPoint(CanvasPoint{p.x(), p.y()}));
}

void CPowerSpectrumView::leaveEvent(QEvent* event) {
    CSelectionPane::leaveEvent(event);
    Window().SetSpectrumFrequency(std::nullopt);
}

void CPowerSpectrumView::ClearSelectedArea() {
    if (selection.PointCount() == 0) {
        return;
    }
    // The selection stays, so the same area can be cleared again after further edits.
    RunEdit([&] { ApplyToEditedChannels(MakeAreaStep(Document().StepFrame(), selection)); });
}

void CPowerSpectrumView::ApplyToEditedChannels(RecipeStep step) {
    const std::vector<ChannelKind> members = EditOrder();
    if (members.empty()) {
        return;
    }
    step.mirror = Document().MirrorEdits();
    // A grey state has one channel, which every step reaches.
    step.red = step.green = step.blue = false;
    for (const ChannelKind member : members) {
        step.red = step.red || member == ChannelKind::Red || member == ChannelKind::Grey;
        step.green = step.green || member == ChannelKind::Green || member == ChannelKind::Grey;
        step.blue = step.blue || member == ChannelKind::Blue || member == ChannelKind::Grey;
    }
    Document().ApplyStep(step);
}

void CPowerSpectrumView::FindPeriodicNoise() {
    const ProcState* state = Document().SpectrumState();
    if (!HasImageToShow() || !state->workImage) {
        return;
    }
    std::vector<ChannelKind> members = {ChannelKind::Grey};
    if (state->isColor) {
        members.clear();
        const std::array<std::pair<ChannelKind, bool>, 3> channels = {
            {{ChannelKind::Red, redEnabled},
             {ChannelKind::Green, greenEnabled},
             {ChannelKind::Blue, blueEnabled}}};
        for (const auto& [channel, enabled] : channels) {
            if (enabled) {
                members.push_back(channel);
            }
        }
    }
    if (members.empty()) {
        Document().ShowInformation(QStringLiteral("No channel is ticked."));
        return;
    }
    std::vector<SpectrumNotch> notches;
    try {
        for (const ChannelKind member : members) {
            for (const NoiseSpike& spike : Document().FindPeriodicNoise(member)) {
                notches.push_back(spike.notch);
            }
        }
        if (!notches.empty()) {
            selection.SetPixels(
                NotchCoverage(notches, state->workImage->Width(), state->workImage->Height()));
        }
    } catch (const std::bad_alloc&) {
        Document().Interaction().ShowError(
            this, QStringLiteral("FFT Quarvel"),
            QStringLiteral("There is not enough memory to look for periodic noise."));
        return;
    }
    if (notches.empty()) {
        Document().ShowInformation(
            QStringLiteral("No periodic noise was found in the power "
                           "spectrum of the ticked channels."));
        return;
    }
    if (state->isColor && (ActivePanel() < 0 || ActivePanel() > 2)) {
        SetActivePanel(members.front() == ChannelKind::Red     ? 0
                       : members.front() == ChannelKind::Green ? 1
                                                               : 2);
    }
    DropDisplayCopy();
    RepaintNow();
    // The outline crawls at once, and Delete is available.
    SelectionDragEnded();
}

void CPowerSpectrumView::RunEdit(const std::function<void()>& edit) {
    // An edit that runs out of memory stops where it was: the channels edited so far keep
    // their change (each is a pending edit that Undo takes back) and the person is told.
    try {
        edit();
    } catch (const std::bad_alloc&) {
        Document().UpdateViews(0);
        Document().Interaction().ShowError(
            this, QStringLiteral("FFT Quarvel"),
            QStringLiteral("There is not enough memory to finish this edit of the spectrum."));
    }
}

void CPowerSpectrumView::PaintPane(QPainter& painter) {
    redIconRect_.reset();
    greenIconRect_.reset();
    blueIconRect_.reset();
    PaintFrames(painter);

    const ProcState* state = Document().SpectrumState();
    // Without an image the start-up layout of three panels shows the colour captions.
    const bool colour = state ? state->isColor : Layout().PanelCount() == 3;
    if (!colour) {
        DrawCaption(painter, 0, QStringLiteral("Power Spectrum"));
        DrawPanelImage(painter, 0, state ? state->powerGrey.get() : nullptr);
        return;
    }
    struct ChannelPanel {
        QString caption;
        bool enabled;
        std::optional<CanvasRect>* iconRect;
        const ImageBitmap* image;
    };
    const std::array<ChannelPanel, 3> channels = {
        ChannelPanel{QStringLiteral("Power Spectrum Red Channel"), redEnabled, &redIconRect_,
                     state ? state->powerRed.get() : nullptr},
        ChannelPanel{QStringLiteral("Power Spectrum Green Channel"), greenEnabled, &greenIconRect_,
                     state ? state->powerGreen.get() : nullptr},
        ChannelPanel{QStringLiteral("Power Spectrum Blue Channel"), blueEnabled, &blueIconRect_,
                     state ? state->powerBlue.get() : nullptr},
    };
    const std::int32_t count = std::min<std::int32_t>(Layout().PanelCount(), 3);
    for (std::int32_t i = 0; i < count; ++i) {
        const ChannelPanel& channel = channels[static_cast<std::size_t>(i)];
        const CanvasRect text = CaptionTextRect(i);
        const CanvasPoint icon{text.left + 2, text.top - 2};
        painter.drawImage(QPoint(icon.x, icon.y), channel.enabled ? tickedIcon_ : emptyIcon_);
        *channel.iconRect = CanvasRect{icon.x, icon.y, icon.x + kIconSize, icon.y + kIconSize};
        DrawCaption(painter, i, channel.caption);
        DrawPanelImage(painter, i, channel.image);
    }
}

}  // namespace quarvel
