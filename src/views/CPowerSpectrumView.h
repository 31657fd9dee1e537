#pragma once

#include <cstdint>
#include <optional>

#include <QImage>

#include "engine/SpectrumConversion.h"
#include "selection/VXRegion.h"
#include "views/CPaneBase.h"

namespace quarvel {

/// The pane of the "Power Spectrum " tab: the power spectrum of each colour channel of the
/// active state (the working state while edits are pending) side by side, or the one spectrum
/// of a grey image. A check icon in each colour panel's caption switches that channel on or off
/// for the spectrum edits and the filters.
class CPowerSpectrumView : public CPaneBase {
    Q_OBJECT

public:
    /// Size of the check icons.
    static constexpr std::int32_t kIconSize = 16;

    /// A power spectrum pane with all channels on and brush size entry 2, registered with the
    /// document.
    explicit CPowerSpectrumView(QWidget* parent = nullptr);
    ~CPowerSpectrumView() override;

    /// Activates panel 0, empties the selection and sizes it to the spectrum, lays out one
    /// panel per channel, recomputes the brush radius and resets the zoom for the spectrum.
    void OnNewImage() override;

    /// The zoom commands, the brush sizes, Clear Selected Area, Deselect and Invert Selection.
    bool QueryCommand(int id, CommandStatus& status) const override;
    bool RunCommand(int id) override;

    /// Brush radius in spectrum pixels for entry brushSizeIndex of the Brush Size menu, from
    /// the size of the active state's power spectrum; unchanged without one.
    void ComputeBrushSize();

    /// Where the check icon of channel (Red, Green or Blue) was last drawn; nothing while it is
    /// not drawn (no image, or a grey one).
    std::optional<CanvasRect> CheckIconRect(ChannelKind channel) const;

    /// Whether each colour channel takes part in spectrum edits and filtering.
    bool redEnabled = true;
    bool greenEnabled = true;
    bool blueEnabled = true;
    /// The selected entry of the Brush Size menu, 1 to 6.
    std::uint8_t brushSizeIndex = 2;
    /// The brush radius in spectrum pixels.
    std::uint16_t brushSize = 10;
    /// The spectrum selection, sized to the power spectrum image.
    VXRegion selection;

protected:
    bool HasImageToShow() const override;
    void PaintContent(QPainter& painter) override;
    /// A press on a check icon (outside every panel) toggles that channel and repaints.
    void LeftButtonDown(CanvasPoint p, Qt::KeyboardModifiers modifiers) override;

private:
    QImage tickedIcon_;
    QImage emptyIcon_;
    std::optional<CanvasRect> redIconRect_;
    std::optional<CanvasRect> greenIconRect_;
    std::optional<CanvasRect> blueIconRect_;
};

}  // namespace quarvel
