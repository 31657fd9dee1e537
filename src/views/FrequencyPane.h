#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include <QImage>

#include <vector>
#include "engine/FrequencyGeometry.h"
#include "engine/PlaneConversion.h"
#include "history/Recipe.h"

#include "views/CSelectionPane.h"

namespace quarvel {

/// The pane of the "Power Spectrum " tab: the power spectrum of each colour channel of the
/// active state (the working state while edits are pending) side by side, or the one spectrum
/// of a grey image. A check icon in each colour panel's caption switches that channel on or off
/// for the spectrum edits and the filters.
///
/// The brush clears a disc of the spectrum at each press; Clear Selected Area clears what the
/// selection holds. Both act on the channel of the pressed panel first, then on the other
/// switched-on channels in the order red, green, blue; a press on a switched-off channel's
/// panel only says so.
class CPowerSpectrumView : public CSelectionPane {
    Q_OBJECT

public:
    /// Size of the check icons.
    static constexpr std::int32_t kIconSize = 16;

    /// A power spectrum pane of document and window with all channels on and brush size
    /// entry 2.
    CPowerSpectrumView(CPaneDocument& document, CPaneWindow& window, QWidget* parent = nullptr);
    ~CPowerSpectrumView() override;

    /// Activates panel 0, empties the selection and sizes it to the spectrum, lays out one
    /// panel per channel, recomputes the brush radius and resets the zoom for the spectrum.
    void OnNewImage() override;

    bool HasImageToShow() const override;

    /// Chooses entry (1 to 6) of the Brush Size menu and recomputes the brush radius.
    void SetBrushSizeEntry(std::uint8_t entry);
    /// Clears the selection in the spectrum of every member of EditOrder.
    void ClearSelectedArea();
    /// Replaces the selection by the spikes of periodic noise and their twins found in the
    /// spectrum of every switched-on channel (the grey one of a grey image), each as the part
    /// of its notch that removes more than half: an ordinary selection, outlined, that the
    /// selection tools change and Clear Selected Area clears. Says so when none is found.
    /// When no panel is active, the first switched-on channel's becomes active, so that Clear
    /// Selected Area reaches every switched-on channel.
    void FindPeriodicNoise();

    /// Brush radius in spectrum pixels for entry brushSizeIndex of the Brush Size menu, from
    /// the size of the active state's power spectrum; unchanged without one.
    void ComputeBrushSize();

    /// Where the check icon of channel (Red, Green or Blue) was last drawn; nothing while it is
    /// not drawn (no image, or a grey one).
    std::optional<CanvasRect> CheckIconRect(ChannelKind channel) const;

    /// The frequency of the spectrum element under window point p, for the status bar;
    /// nothing when p is beside every spectrum, no image is shown or the document is busy.
    std::optional<SpectrumFrequency> FrequencyAtPoint(CanvasPoint p) const;

    /// Whether each colour channel takes part in spectrum edits and filtering.
    bool redEnabled = true;
    bool greenEnabled = true;
    bool blueEnabled = true;
    /// The selected entry of the Brush Size menu, 1 to 6.
    std::uint8_t brushSizeIndex = 2;
    /// The brush radius in spectrum pixels.
    std::uint16_t brushSize = 10;

protected:
    void PaintPane(QPainter& painter) override;
    /// A press outside every panel only toggles the channel whose check icon it hits; a press
    /// on a switched-off channel's panel shows "This channel is disabled"; any other press goes
    /// to the current tool.
    void LeftButtonDown(CanvasPoint p, Qt::KeyboardModifiers modifiers) override;
    /// Clears a disc of brushSize around the pressed spectrum element; a press beside the
    /// spectrum (in the margin of its panel) clears nothing.
    void BrushTool(ToolPhase phase, Qt::KeyboardModifiers modifiers, CanvasPoint p) override;
    bool PanelShowsOutline(std::int32_t i) const override;
    /// Besides the canvas's work, reports the frequency under the mouse to the status bar.
    void mouseMoveEvent(QMouseEvent* event) override;
    /// The mouse left: the status bar's frequency is cleared.
    void leaveEvent(QEvent* event) override;

private:
    /// Runs a spectrum edit; when memory runs out, says so instead of letting the failure
    /// reach the event loop.
    void RunEdit(const std::function<void()>& edit);
    /// Whether the channel shown in panel i takes part in edits (always on a grey image).
    bool PanelEnabled(std::int32_t i) const;
    /// The members an edit acts on, in order: for a grey image (or none) the grey channel; for
    /// a colour image the active panel's channel, then the other switched-on ones; none when
    /// the active panel is switched off or there is none.
    std::vector<ChannelKind> EditOrder() const;
    /// Runs step on the channels of EditOrder, which it is given, as one recorded step;
    /// nothing when EditOrder is empty.
    void ApplyToEditedChannels(RecipeStep step);
    /// The spectrum element of panel under window point p; nothing beside the spectrum (in
    /// the margin of its panel, or past its last column or row) or outside every panel.
    std::optional<CanvasPoint> ElementAt(std::int32_t panel, CanvasPoint p) const;

    QImage tickedIcon_;
    QImage emptyIcon_;
    std::optional<CanvasRect> redIconRect_;
    std::optional<CanvasRect> greenIconRect_;
    std::optional<CanvasRect> blueIconRect_;
};

}  // namespace quarvel
