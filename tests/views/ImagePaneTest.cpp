#include <gtest/gtest.h>

#include <QPainter>

#include "PaneTestSupport.h"
#include "imageio/ImageFile.h"
#include "imageio/QtBitmap.h"
#include "views/CImageView.h"

namespace quarvel {
namespace {

using test::Grab;
using test::PixelAt;
using test::TestImage;

constexpr QRgb kBlue = CPaneBase::kFrameBlue;
constexpr QRgb kGrey = CPaneBase::kBackground;

/// The colour of image pixel p of bitmap, as the screen shows it.
QRgb BitmapPixel(const ImageBitmap& bitmap, CanvasPoint p) {
    return ToQImage(bitmap).pixel(p.x, p.y) | 0xFF000000u;
}

/// Window points spread over the drawn part of panel i, away from its frame.
std::vector<CanvasPoint> PointsInside(const CanvasLayout& layout, std::int32_t i) {
    const CanvasPanel& panel = *layout.Panel(i);
    const CanvasRect d = panel.destRect;
    std::vector<CanvasPoint> points;
    for (int k = 1; k <= 4; ++k) {
        points.push_back(
            {d.left + 3 + (d.Width() - 6) * k / 5, d.top + 3 + (d.Height() - 6) * k / 5});
        points.push_back(
            {d.left + 3 + (d.Width() - 6) * k / 5, d.bottom - 3 - (d.Height() - 6) * k / 5});
    }
    return points;
}

/// Expects every sampled point of panel i to show the image pixel the panel maps it to.
void ExpectPanelShows(const CImageView& pane, const QImage& shot, std::int32_t i,
                      const ImageBitmap& bitmap) {
    ASSERT_FLOAT_EQ(pane.Layout().PanelZoom(i), 1.0f);
    for (const CanvasPoint p : PointsInside(pane.Layout(), i)) {
        const auto pixel = pane.Layout().WindowToImage(i, p);
        ASSERT_TRUE(pixel.has_value());
        EXPECT_EQ(PixelAt(shot, p), BitmapPixel(bitmap, *pixel))
            << "window " << p.x << "," << p.y << " image " << pixel->x << "," << pixel->y;
    }
}

/// The caption band of panel i as it should read: text in white on the frame blue.
QImage ExpectedCaption(const CImageView& pane, std::int32_t i, const QString& text) {
    const CanvasRect r = pane.Layout().Panel(i)->panelRect;
    QImage image(r.Width(), pane.CaptionHeight() + 2, QImage::Format_RGB32);
    image.fill(kBlue);
    QPainter painter(&image);
    painter.setFont(CPaneBase::PaneFont());
    painter.setPen(Qt::white);
    painter.drawText(image.rect(), Qt::AlignHCenter | Qt::AlignTop, text);
    return image;
}

QImage CaptionOf(const CImageView& pane, const QImage& shot, std::int32_t i) {
    const CanvasRect r = pane.Layout().Panel(i)->panelRect;
    return shot.copy(r.left, r.top - pane.CaptionHeight() - 2, r.Width(), pane.CaptionHeight() + 2);
}

CommandStatus Status(const CImageView& pane, int id) {
    CommandStatus status;
    EXPECT_TRUE(pane.QueryCommand(id, status)) << id;
    return status;
}

class ImagePaneTest : public test::PaneTest {
protected:
    void SetUp() override {
        PaneTest::SetUp();
        pane = std::make_unique<CImageView>(*doc, window);
        pane->resize(1300, 700);
        pane->show();
    }

    /// Commits a final image whose pixels differ from the original.
    void ProcessImage() {
        const auto w = static_cast<std::uint32_t>(doc->spectrumWidth);
        const auto h = static_cast<std::int32_t>(doc->spectrumHeight);
        for (const ChannelKind channel :
             {ChannelKind::Red, ChannelKind::Green, ChannelKind::Blue}) {
            doc->StampBrush(channel, w / 2 + 3, h / 2, 40);
        }
        doc->CreateFinalImage();
        ASSERT_EQ(doc->states.size(), 2u);
    }

    std::unique_ptr<CImageView> pane;
};

TEST_F(ImagePaneTest, WithoutImage_DrawsFramesAndCaptionsOfTwoEmptyPanels) {
    const QImage shot = Grab(*pane);
    ASSERT_EQ(pane->Layout().PanelCount(), 2);
    EXPECT_EQ(PixelAt(shot, {1, 1}), kGrey);
    for (std::int32_t i = 0; i < 2; ++i) {
        const CanvasRect p = pane->Layout().Panel(i)->panelRect;
        const std::int32_t band = pane->CaptionHeight() + 6;
        const std::int32_t midY = (p.top + p.bottom) / 2;
        // Two-pixel frame from the top of the caption bar down to the panel's bottom.
        EXPECT_EQ(PixelAt(shot, {p.left, midY}), kBlue);
        EXPECT_EQ(PixelAt(shot, {p.left + 1, midY}), kBlue);
        EXPECT_EQ(PixelAt(shot, {p.left + 2, midY}), kGrey);
        EXPECT_EQ(PixelAt(shot, {p.right - 1, midY}), kBlue);
        EXPECT_EQ(PixelAt(shot, {p.right - 2, midY}), kBlue);
        EXPECT_EQ(PixelAt(shot, {p.right, midY}), kGrey);
        EXPECT_EQ(PixelAt(shot, {p.left + 10, p.bottom - 1}), kBlue);
        EXPECT_EQ(PixelAt(shot, {p.left + 10, p.bottom}), kGrey);
        EXPECT_EQ(PixelAt(shot, {p.left + 10, p.top - band}), kBlue);
        EXPECT_EQ(PixelAt(shot, {p.left + 10, p.top - band - 1}), kGrey);
        // The caption bar is filled down to the panel's top row.
        EXPECT_EQ(PixelAt(shot, {p.left + 3, p.top}), kBlue);
        EXPECT_EQ(PixelAt(shot, {p.left + 3, p.top + 1}), kGrey);
    }
    EXPECT_EQ(CaptionOf(*pane, shot, 0),
              ExpectedCaption(*pane, 0, QStringLiteral("Original Image")));
    EXPECT_EQ(CaptionOf(*pane, shot, 1),
              ExpectedCaption(*pane, 1, QStringLiteral("Processed Image")));
}

TEST_F(ImagePaneTest, WithoutImage_DisplayModesAndZoomCommandsAreDisabled) {
    for (const int id :
         {ID_VIEW_ORIGINAL, ID_VIEW_PROCESSED, ID_VIEW_ORIGINAL_AND_PROCESSED, ID_ZOOM_ACTUAL_SIZE,
          ID_ZOOM_IN, ID_ZOOM_OUT, ID_ZOOM_FIT, ID_ZOOM_FIT_WIDTH, ID_ZOOM_FIT_HEIGHT,
          ID_FFT_DESELECT, ID_FFT_INVERT_SELECTION}) {
        const CommandStatus status = Status(*pane, id);
        EXPECT_FALSE(status.enabled) << id;
        EXPECT_FALSE(status.checked) << id;
    }
}

TEST_F(ImagePaneTest, OpenedImage_ShowsOriginalAndProcessedPixelForPixel) {
    Open("coffee.png");
    const QImage shot = Grab(*pane);
    ExpectPanelShows(*pane, shot, 0, *doc->originalImage);
    ExpectPanelShows(*pane, shot, 1, *doc->CurrentState()->image);
    EXPECT_EQ(pane->selection.Width(), 600);
    EXPECT_EQ(pane->selection.Height(), 400);
    EXPECT_TRUE(Status(*pane, ID_VIEW_ORIGINAL_AND_PROCESSED).checked);
    EXPECT_FALSE(Status(*pane, ID_VIEW_ORIGINAL).checked);
    EXPECT_TRUE(Status(*pane, ID_ZOOM_FIT).enabled);
}

TEST_F(ImagePaneTest, OpeningImage_ShownInBothPanelsUntilTheOpenFails) {
    Open("coffee.png");
    std::unique_ptr<ImageBitmap> opening;
    ASSERT_TRUE(LoadImageFile(opening, TestImage("coins.png").toStdString()));
    pane->ShowOpeningImage(opening.get());
    QImage shot = Grab(*pane);
    ExpectPanelShows(*pane, shot, 0, *opening);
    ExpectPanelShows(*pane, shot, 1, *opening);
    EXPECT_EQ(pane->selection.Width(), 384);

    // The file could not be opened after all: the document's images come back.
    pane->ShowOpeningImage(nullptr);
    shot = Grab(*pane);
    ExpectPanelShows(*pane, shot, 0, *doc->originalImage);
    ExpectPanelShows(*pane, shot, 1, *doc->CurrentState()->image);
    EXPECT_EQ(pane->selection.Width(), 600);
}

TEST_F(ImagePaneTest, DisplayModes_ShowTheirImagesUnderTheirCaptions) {
    Open("coffee.png");
    ProcessImage();

    ASSERT_TRUE(pane->RunCommand(ID_VIEW_PROCESSED));
    EXPECT_EQ(pane->Layout().PanelCount(), 1);
    EXPECT_TRUE(Status(*pane, ID_VIEW_PROCESSED).checked);
    QImage shot = Grab(*pane);
    ExpectPanelShows(*pane, shot, 0, *doc->CurrentState()->image);
    EXPECT_EQ(CaptionOf(*pane, shot, 0),
              ExpectedCaption(*pane, 0, QStringLiteral("Processed Image")));

    ASSERT_TRUE(pane->RunCommand(ID_VIEW_ORIGINAL));
    EXPECT_TRUE(Status(*pane, ID_VIEW_ORIGINAL).checked);
    EXPECT_FALSE(Status(*pane, ID_VIEW_PROCESSED).checked);
    shot = Grab(*pane);
    ExpectPanelShows(*pane, shot, 0, *doc->originalImage);
    EXPECT_EQ(CaptionOf(*pane, shot, 0),
              ExpectedCaption(*pane, 0, QStringLiteral("Original Image")));

    ASSERT_TRUE(pane->RunCommand(ID_VIEW_ORIGINAL_AND_PROCESSED));
    EXPECT_EQ(pane->Layout().PanelCount(), 2);
    shot = Grab(*pane);
    ExpectPanelShows(*pane, shot, 0, *doc->originalImage);
    ExpectPanelShows(*pane, shot, 1, *doc->CurrentState()->image);
}

TEST_F(ImagePaneTest, FinalImage_IsShownFromItsOwnMemoryPixelForPixel) {
    Open("coffee.png");
    ProcessImage();
    const QImage shot = Grab(*pane);
    ExpectPanelShows(*pane, shot, 1, *doc->CurrentState()->image);
    EXPECT_EQ(pane->ImageCache().Size(), 2);
    EXPECT_EQ(pane->ImageCache().CopiedBytes(), 0u);
}

TEST_F(ImagePaneTest, PendingSpectrumEdits_DoNotShowUntilCommitted) {
    Open("coffee.png");
    ProcessImage();
    const QImage before = Grab(*pane);
    doc->StampBrush(ChannelKind::Red, static_cast<std::uint32_t>(doc->spectrumWidth / 2), 10, 30);
    ASSERT_TRUE(doc->workingState);
    EXPECT_EQ(Grab(*pane), before);
    // Undo shows the first state again.
    doc->Undo();
    ExpectPanelShows(*pane, Grab(*pane), 1, *doc->originalImage);
}

TEST_F(ImagePaneTest, DisplayModeChange_FitsOnlyAnImageTooLargeForItsPanels) {
    pane->resize(900, 500);
    Open("coffee.png");
    // Two panels of 444 pixels cannot show 600 columns at zoom 1.
    EXPECT_FLOAT_EQ(pane->Layout().PanelZoom(0), pane->Layout().FitZoom(0));
    EXPECT_LT(pane->Layout().PanelZoom(0), 1.0f);
    ASSERT_TRUE(pane->RunCommand(ID_VIEW_ORIGINAL));
    EXPECT_FLOAT_EQ(pane->Layout().PanelZoom(0), 1.0f);
    ASSERT_TRUE(pane->RunCommand(ID_VIEW_ORIGINAL_AND_PROCESSED));
    EXPECT_FLOAT_EQ(pane->Layout().PanelZoom(1), pane->Layout().FitZoom(0));
}

TEST_F(ImagePaneTest, ZoomSteps_AreClampedAndFitsAreNot) {
    Open("no_time_for_that_tiny.gif");
    ASSERT_TRUE(pane->RunCommand(ID_ZOOM_FIT));
    const float fit = pane->Layout().FitZoom(1);
    EXPECT_GT(fit, CanvasLayout::maxZoom);
    EXPECT_FLOAT_EQ(pane->Layout().PanelZoom(0), fit);

    ASSERT_TRUE(pane->RunCommand(ID_ZOOM_ACTUAL_SIZE));
    EXPECT_FLOAT_EQ(pane->Layout().PanelZoom(0), 1.0f);
    ASSERT_TRUE(pane->RunCommand(ID_ZOOM_IN));
    EXPECT_FLOAT_EQ(pane->Layout().PanelZoom(1), 1.2f);
    for (int i = 0; i < 40; ++i) {
        pane->RunCommand(ID_ZOOM_IN);
    }
    EXPECT_FLOAT_EQ(pane->Layout().PanelZoom(0), 8.0f);
    for (int i = 0; i < 60; ++i) {
        pane->RunCommand(ID_ZOOM_OUT);
    }
    EXPECT_FLOAT_EQ(pane->Layout().PanelZoom(0), 0.05f);

    ASSERT_TRUE(pane->RunCommand(ID_ZOOM_FIT_WIDTH));
    EXPECT_FLOAT_EQ(pane->Layout().PanelZoom(0), pane->Layout().FitWidthZoom(1));
    ASSERT_TRUE(pane->RunCommand(ID_ZOOM_FIT_HEIGHT));
    EXPECT_FLOAT_EQ(pane->Layout().PanelZoom(0), pane->Layout().FitHeightZoom(1));
}

TEST_F(ImagePaneTest, FitOnScreen_GivesBothPanelsTheFitOfTheLastPanel) {
    // Cells of (1001 - 4) / 2 pixels: the first panel is one pixel narrower than the last.
    pane->resize(1001, 700);
    Open("rocket.jpg");
    ASSERT_NE(pane->Layout().FitZoom(0), pane->Layout().FitZoom(1));
    ASSERT_TRUE(pane->RunCommand(ID_ZOOM_FIT));
    EXPECT_FLOAT_EQ(pane->Layout().PanelZoom(0), pane->Layout().FitZoom(1));
    EXPECT_FLOAT_EQ(pane->Layout().PanelZoom(1), pane->Layout().FitZoom(1));
}

TEST_F(ImagePaneTest, MagnifiedImage_ShowsSharpPixels) {
    Open("palette_color.png");
    ASSERT_TRUE(pane->RunCommand(ID_ZOOM_FIT));
    const QImage shot = Grab(*pane);
    const CanvasLayout& layout = pane->Layout();
    const float z = layout.PanelZoom(0);
    ASSERT_GT(z, 20.0f);
    // Every window pixel inside image pixel (3, 4) shows that pixel's colour, edges included.
    const CanvasRect d = layout.Panel(0)->destRect;
    const QRgb expected = BitmapPixel(*doc->originalImage, {3, 4});
    const int left = static_cast<int>(std::ceil(d.left + 3 * z));
    const int right = static_cast<int>(std::floor(d.left + 4 * z)) - 1;
    const int top = static_cast<int>(std::ceil(d.top + 4 * z));
    EXPECT_EQ(PixelAt(shot, {left, top}), expected);
    EXPECT_EQ(PixelAt(shot, {right, top}), expected);
}

TEST_F(ImagePaneTest, NewImage_ResetsZoomAndActivePanel) {
    Open("coffee.png");
    pane->RunCommand(ID_ZOOM_IN);
    pane->RunCommand(ID_ZOOM_IN);
    test::Click(*pane, {2, 2});
    ASSERT_EQ(pane->ActivePanel(), -1);
    ASSERT_TRUE(doc->OnFileRevert());
    EXPECT_FLOAT_EQ(pane->Layout().PanelZoom(0), 1.0f);
    EXPECT_EQ(pane->ActivePanel(), 0);
    ExpectPanelShows(*pane, Grab(*pane), 0, *doc->originalImage);
}

TEST_F(ImagePaneTest, ZoomSteps_AfterAPressOutsideEveryPanel_StepFromTheSharedZoom) {
    pane->resize(900, 500);
    Open("coffee.png");
    const float start = pane->Layout().PanelZoom(0);
    ASSERT_LT(start, 0.8f);
    test::Click(*pane, {2, 2});
    ASSERT_EQ(pane->ActivePanel(), -1);
    ASSERT_TRUE(pane->RunCommand(ID_ZOOM_OUT));
    EXPECT_FLOAT_EQ(pane->Layout().PanelZoom(1), CanvasLayout::ClampZoom(start - 0.2));
}

TEST_F(ImagePaneTest, ResizeByOnePixel_KeepsTheLayout) {
    Open("coffee.png");
    Grab(*pane);
    const CanvasRect before = pane->Layout().Panel(1)->panelRect;
    pane->resize(1301, 699);
    EXPECT_EQ(pane->Layout().Panel(1)->panelRect, before);
    pane->resize(1400, 699);
    EXPECT_EQ(pane->Layout().Panel(1)->panelRect.right, 1396);
    // Growing a pixel at a time still lays the panels out once the change adds up.
    pane->resize(1401, 699);
    pane->resize(1402, 699);
    EXPECT_EQ(pane->Layout().Panel(1)->panelRect.right, 1398);
}

}  // namespace
}  // namespace quarvel
