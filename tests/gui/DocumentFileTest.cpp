#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QSettings>
#include <QStatusBar>
#include <QUrl>

#include "ShellFixture.h"
#include "app/CFFTQuarvelView.h"
#include "imageio/ImageFile.h"
#include "imageio/QtBitmap.h"
#include "support/MemoryNoise.h"
#include "support/TestFiles.h"
#include "views/CPaneBase.h"

namespace quarvel::test {
namespace {

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.readAll();
}

bool WriteAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

bool IsJpeg(const QByteArray& bytes) {
    return bytes.startsWith(QByteArray::fromHex("FFD8FF"));
}

using DocumentFiles = ShellTest;

TEST_F(DocumentFiles, Open_LoadsImageSetsTitleAndRecordsTheFile) {
    Start();
    OpenThroughCommand(TestImage("coffee.png"));
    ASSERT_NE(Doc().originalImage, nullptr);
    EXPECT_EQ(Doc().originalImage->Width(), 600u);
    EXPECT_EQ(Doc().states.size(), 1u);
    EXPECT_EQ(Doc().spectrumWidth, 1024u);
    EXPECT_EQ(Doc().spectrumHeight, 512u);
    EXPECT_TRUE(Doc().openedImage);
    EXPECT_EQ(Doc().Title(), QStringLiteral("coffee.png"));
    EXPECT_EQ(Frame().windowTitle(), QStringLiteral("FFT Quarvel - coffee.png"));
    EXPECT_EQ(Frame().RecentFiles().value(0),
              QFileInfo(TestImage("coffee.png")).absoluteFilePath());
    EXPECT_TRUE(Ui().errors.isEmpty());
}

// Options, Transform Size: stored at once, used from the next open (Revert included), and an
// unedited image at its own size comes back byte for byte.
TEST_F(DocumentFiles, ExactTransformSize_OpensAtTheImagesOwnSizeFromTheNextOpenOn) {
    Start();
    EXPECT_TRUE(IsChecked(ID_OPTIONS_POWER_OF_TWO_SIZE));
    EXPECT_FALSE(IsChecked(ID_OPTIONS_EXACT_SIZE));
    OpenThroughCommand(TestImage("coffee.png"));
    Trigger(ID_OPTIONS_EXACT_SIZE);
    EXPECT_TRUE(IsChecked(ID_OPTIONS_EXACT_SIZE));
    EXPECT_FALSE(IsChecked(ID_OPTIONS_POWER_OF_TWO_SIZE));
    EXPECT_EQ(QSettings().value(CFFTQuarvelDoc::TransformSizeKey()).toString(),
              QStringLiteral("Exact"));
    EXPECT_EQ(Doc().spectrumWidth, 1024u);

    Trigger(ID_FILE_REVERT);
    EXPECT_EQ(Doc().spectrumWidth, 600u);
    EXPECT_EQ(Doc().spectrumHeight, 400u);
    ASSERT_TRUE(Doc().PrepareWorkingState());
    Doc().CreateFinalImage();
    ASSERT_EQ(Doc().states.size(), 2u);
    const ImageBitmap& original = *Doc().originalImage;
    const ImageBitmap& final = *Doc().states[1]->image;
    ASSERT_EQ(final.Format(), PixelFormat32bppRGB);
    for (std::uint32_t y = 0; y < original.Height(); ++y) {
        for (std::uint32_t x = 0; x < 4 * original.Width(); ++x) {
            ASSERT_TRUE(x % 4 == 3 || original.Row(y)[x] == final.Row(y)[x]) << x << ", " << y;
        }
    }

    Restart();
    EXPECT_TRUE(IsChecked(ID_OPTIONS_EXACT_SIZE));
    Trigger(ID_OPTIONS_POWER_OF_TWO_SIZE);
    EXPECT_EQ(QSettings().value(CFFTQuarvelDoc::TransformSizeKey()).toString(),
              QStringLiteral("Power of Two"));
}

TEST_F(DocumentFiles, Open_MakesTheImagePaneActiveOnTheImageTab) {
    Start();
    Trigger(ID_VIEW_SPECTRUM_WINDOW);
    OpenThroughCommand(TestImage("camera.png"));
    CFFTQuarvelView* view = Doc().GetTabView();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->activeTab, 0);
    EXPECT_EQ(Frame().ActivePane(), view->ImagePane());
}

TEST_F(DocumentFiles, OpenCancelled_SelectsImageTabAndTakesTitleFromThePath) {
    Start();
    Trigger(ID_VIEW_SPECTRUM_WINDOW);
    Trigger(ID_FILE_OPEN);
    EXPECT_EQ(Ui().openQuestions, 1);
    EXPECT_EQ(Doc().GetTabView()->activeTab, 0);
    // No file yet: the title is empty and the caption ends in " - ".
    EXPECT_EQ(Frame().windowTitle(), QStringLiteral("FFT Quarvel - "));
}

TEST_F(DocumentFiles, FailedOpen_ShowsWhyAndKeepsThePreviousDocument) {
    Start();
    OpenThroughCommand(TestImage("astronaut.png"));
    EditSpectrum();
    const QString text = TempPath(QStringLiteral("notes.png"));
    ASSERT_TRUE(WriteAll(text, "This is a text file, not a picture.\n"));

    OpenThroughCommand(text);
    ASSERT_EQ(Ui().errors.size(), 1);
    EXPECT_TRUE(Ui().errors.at(0).contains(QStringLiteral("notes.png")))
        << Ui().errors.at(0).toStdString();
    EXPECT_TRUE(Ui().errors.at(0).contains(QStringLiteral("not an image file")));
    ASSERT_NE(Doc().originalImage, nullptr);
    EXPECT_EQ(Doc().originalImage->Width(), 512u);
    EXPECT_EQ(Doc().states.size(), 1u);
    EXPECT_NE(Doc().workingState, nullptr);
    EXPECT_EQ(Doc().Title(), QStringLiteral("astronaut.png"));
    EXPECT_FALSE(Frame().RecentFiles().contains(text));
}

TEST_F(DocumentFiles, OpenDamagedFile_OpensAndNotesTheDamageInTheStatusBar) {
    Start();
    const QByteArray whole = ReadAll(TestImage("rocket.jpg"));
    const QString cut = TempPath(QStringLiteral("cut.jpg"));
    ASSERT_TRUE(WriteAll(cut, whole.left(whole.size() / 2)));
    OpenThroughCommand(cut);
    ASSERT_NE(Doc().originalImage, nullptr);
    EXPECT_EQ(Doc().originalImage->Width(), 640u);
    EXPECT_TRUE(Ui().errors.isEmpty());
    EXPECT_TRUE(Frame().statusBar()->currentMessage().contains(QStringLiteral("damaged")));
}

TEST_F(DocumentFiles, Revert_ReloadsTheFileAndDropsTheHistory) {
    Start();
    OpenThroughCommand(TestImage("camera.png"));
    EditSpectrum();
    Trigger(ID_FFT_CREATE_FINAL);
    ASSERT_EQ(Doc().states.size(), 2u);
    Trigger(ID_FILE_REVERT);
    EXPECT_EQ(Doc().states.size(), 1u);
    EXPECT_EQ(Doc().currentIndex, 0u);
    EXPECT_EQ(Doc().workingState, nullptr);
    EXPECT_TRUE(Doc().openedImage);
    EXPECT_EQ(Doc().Title(), QStringLiteral("camera.png"));
    EXPECT_FALSE(IsEnabled(ID_EDIT_UNDO));
}

TEST_F(DocumentFiles, RevertWithTheFileGone_ShowsWhyAndKeepsTheDocument) {
    Start();
    const QString path = CopyToTemp("camera.png", QStringLiteral("gone.png"));
    OpenThroughCommand(path);
    EditSpectrum();
    Trigger(ID_FFT_CREATE_FINAL);
    ASSERT_TRUE(QFile::remove(path));
    Trigger(ID_FILE_REVERT);
    ASSERT_EQ(Ui().errors.size(), 1);
    EXPECT_TRUE(Ui().errors.at(0).contains(QStringLiteral("gone.png")));
    EXPECT_EQ(Doc().states.size(), 2u);
    EXPECT_EQ(Doc().currentIndex, 1u);
}

TEST_F(DocumentFiles, FirstSave_ProposesCopyOfAndWritesTheFormatOfTheName) {
    Start();
    const QString path = CopyToTemp("astronaut.png", QStringLiteral("x.png"));
    OpenThroughCommand(path);
    const QString proposal = TempPath(QStringLiteral("copy of x.png"));
    Ui().saveAnswers.push_back(proposal);
    Trigger(ID_FILE_SAVE);
    ASSERT_EQ(Ui().proposedSaves.size(), 1);
    EXPECT_EQ(Ui().proposedSaves.at(0), proposal);
    EXPECT_TRUE(ReadAll(proposal).startsWith("\x89PNG"));
    EXPECT_FALSE(Doc().openedImage);
    EXPECT_EQ(Doc().PathName(), proposal);
    EXPECT_EQ(Frame().windowTitle(), QStringLiteral("FFT Quarvel - copy of x.png"));
    EXPECT_EQ(Frame().RecentFiles().value(0), proposal);

    // The next Save writes to the chosen file without asking.
    ASSERT_TRUE(QFile::remove(proposal));
    Trigger(ID_FILE_SAVE);
    EXPECT_EQ(Ui().proposedSaves.size(), 1);
    EXPECT_TRUE(ReadAll(proposal).startsWith("\x89PNG"));
    // A PNG has no quality to ask for.
    EXPECT_TRUE(Ui().modalDialogs.isEmpty());
}

// A 16-bit image opens at 16 bits, the status bar reads its samples under the mouse, a PNG
// keeps them and a BMP, which cannot, is written at 8 bits with a warning.
TEST_F(DocumentFiles, SixteenBitImage_ShowsItsValuesAndKeepsItsDepthWhereTheFileCan) {
    auto deep = ImageBitmap::Create(64, 48, PixelFormat16bppGrayScale);
    for (std::uint32_t y = 0; y < 48; ++y) {
        for (std::uint32_t x = 0; x < 64; ++x) {
            const auto value = static_cast<std::uint16_t>(1000 + 300 * x + y);
            std::memcpy(deep->Row(y) + 2 * x, &value, 2);
        }
    }
    const QString path = TempPath(QStringLiteral("deep.png"));
    ASSERT_TRUE(SaveImageFile(*deep, path.toStdString()));
    Start();
    OpenThroughCommand(path);
    ASSERT_NE(Doc().originalImage, nullptr);
    EXPECT_EQ(Doc().originalImage->Format(), PixelFormat16bppGrayScale);

    CPaneBase& pane = *Frame().TabView()->ImagePane();
    const CanvasRect d = pane.Layout().Panel(0)->destRect;
    const QPointF middle((d.left + d.right) / 2, (d.top + d.bottom) / 2);
    QMouseEvent move(QEvent::MouseMove, middle, pane.mapToGlobal(middle), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&pane, &move);
    const CursorPoint at = Frame().cursorPoint;
    ASSERT_GE(at.x, 0);
    auto* readout = Frame().statusBar()->findChild<QLabel*>(QStringLiteral("valueReadout"));
    ASSERT_NE(readout, nullptr);
    EXPECT_EQ(readout->text(), QStringLiteral("Value: %1").arg(1000 + 300 * at.x + at.y));

    const QString png = TempPath(QStringLiteral("kept.png"));
    Ui().saveAnswers.push_back(png);
    Trigger(ID_FILE_SAVE_AS);
    std::unique_ptr<ImageBitmap> kept;
    ASSERT_TRUE(LoadImageFile(kept, png.toStdString()));
    EXPECT_EQ(kept->Format(), PixelFormat16bppGrayScale);
    EXPECT_TRUE(Ui().warnings.isEmpty());

    Ui().saveAnswers.push_back(TempPath(QStringLiteral("narrow.bmp")));
    Trigger(ID_FILE_SAVE_AS);
    ASSERT_EQ(Ui().warnings.size(), 1);
    EXPECT_TRUE(Ui().warnings.at(0).contains(QStringLiteral("BMP holds 8 bits a sample")))
        << Ui().warnings.at(0).toStdString();
    EXPECT_TRUE(Ui().errors.isEmpty());
}

TEST_F(DocumentFiles, JpegSave_AsksTheQualityOncePerSessionStartingFromTheStoredOne) {
    QSettings().setValue(CFFTQuarvelDoc::JpegQualityKey(), 30);
    Start();
    OpenThroughCommand(TestImage("coins.png"));
    const QString expected = TempPath(QStringLiteral("expected.jpg"));
    ASSERT_TRUE(
        SaveImageFile(*Doc().CurrentState()->image, expected.toStdString(), SaveOptions{"", 30}));
    for (const char* name : {"first.jpg", "second.jpeg"}) {
        Ui().saveAnswers.push_back(TempPath(QString::fromLatin1(name)));
        Trigger(ID_FILE_SAVE_AS);
        EXPECT_EQ(ReadAll(TempPath(QString::fromLatin1(name))), ReadAll(expected)) << name;
    }
    EXPECT_EQ(Ui().modalDialogs, QStringList{QStringLiteral("QInputDialog")});
    EXPECT_TRUE(Ui().modalTexts.join(QLatin1Char(' ')).contains(QStringLiteral("Quality")));
    EXPECT_EQ(QSettings().value(CFFTQuarvelDoc::JpegQualityKey()).toInt(), 30);

    // A new session asks again.
    Restart();
    OpenThroughCommand(TestImage("coins.png"));
    Ui().saveAnswers.push_back(TempPath(QStringLiteral("third")));
    Trigger(ID_FILE_SAVE_AS);
    EXPECT_EQ(Ui().modalDialogs, QStringList{QStringLiteral("QInputDialog")});
    EXPECT_TRUE(IsJpeg(ReadAll(TempPath(QStringLiteral("third")))));
}

TEST_F(DocumentFiles, SaveAsDialog_OffersTheFormatsAndAddsTheChosenExtension) {
    Start();
    const std::unique_ptr<QFileDialog> dialog =
        CreateSaveAsDialog(&Frame(), TempPath(QStringLiteral("copy of scan.tif")));
    const QStringList filters = dialog->nameFilters();
    ASSERT_GE(filters.size(), 5);
    EXPECT_EQ(filters.first(), QStringLiteral("JPEG Image (*.jpg *.jpeg)"));
    EXPECT_EQ(filters.last(), QStringLiteral("All Files (*)"));
    EXPECT_TRUE(filters.contains(QStringLiteral("PNG Image (*.png)")));
    EXPECT_EQ(dialog->selectedNameFilter(), QStringLiteral("TIFF Image (*.tif *.tiff)"));
    EXPECT_EQ(dialog->defaultSuffix(), QStringLiteral("tif"));
    Q_EMIT dialog->filterSelected(QStringLiteral("PNG Image (*.png)"));
    EXPECT_EQ(dialog->defaultSuffix(), QStringLiteral("png"));
    Q_EMIT dialog->filterSelected(QStringLiteral("All Files (*)"));
    EXPECT_EQ(dialog->defaultSuffix(), QString());
    // A name without a known extension starts with JPEG.
    EXPECT_EQ(CreateSaveAsDialog(&Frame(), TempPath(QStringLiteral("notes")))->defaultSuffix(),
              QStringLiteral("jpg"));
}

TEST_F(DocumentFiles, SaveOnAFullDisk_ShowsWhyAndKeepsTheOldFile) {
    SmallFileSystem disk("4m");
    if (!disk.Mounted()) {
        GTEST_SKIP() << "mounting a small file system needs root";
    }
    Start();
    OpenThroughCommand(TestImage("camera.png"));
    for (const char* name : {"keep.png", "keep.jpg"}) {
        WriteBytes(disk / name, "the old image");
    }
    disk.Fill();
    for (const char* name : {"keep.png", "keep.jpg"}) {
        Ui().saveAnswers.push_back(QString::fromStdString((disk / name).string()));
        Trigger(ID_FILE_SAVE_AS);
        EXPECT_EQ(ReadBytes(disk / name), "the old image");
    }
    ASSERT_EQ(Ui().errors.size(), 2);
    EXPECT_TRUE(Ui().errors.at(1).contains(QStringLiteral("disk full")))
        << Ui().errors.at(1).toStdString();
    EXPECT_TRUE(Doc().openedImage);
}

TEST_F(DocumentFiles, SaveOfACopy_ProposesTheSameNameAgain) {
    Start();
    const QString path = CopyToTemp("camera.png", QStringLiteral("copy of y.png"));
    OpenThroughCommand(path);
    Trigger(ID_FILE_SAVE_AS);
    ASSERT_EQ(Ui().proposedSaves.size(), 1);
    EXPECT_EQ(Ui().proposedSaves.at(0), path);
}

TEST_F(DocumentFiles, CancelledSaveAs_ProposesAgainAndRevertStillReadsTheOpenedFile) {
    Start();
    const QString path = CopyToTemp("camera.png", QStringLiteral("z.png"));
    OpenThroughCommand(path);
    Trigger(ID_FILE_SAVE_AS);
    Trigger(ID_FILE_SAVE);
    ASSERT_EQ(Ui().proposedSaves.size(), 2);
    EXPECT_EQ(Ui().proposedSaves.at(1), TempPath(QStringLiteral("copy of z.png")));
    EXPECT_FALSE(QFileInfo::exists(TempPath(QStringLiteral("copy of z.png"))));

    EditSpectrum();
    Trigger(ID_FFT_CREATE_FINAL);
    Trigger(ID_FILE_REVERT);
    EXPECT_TRUE(Ui().errors.isEmpty());
    EXPECT_EQ(Doc().states.size(), 1u);
}

TEST_F(DocumentFiles, SaveIntoAMissingFolder_ShowsWhyAndKeepsTheDocumentUnsaved) {
    Start();
    OpenThroughCommand(TestImage("camera.png"));
    const QString target = TempPath(QStringLiteral("no such folder/out.jpg"));
    Ui().saveAnswers.push_back(target);
    Trigger(ID_FILE_SAVE_AS);
    ASSERT_EQ(Ui().errors.size(), 1);
    EXPECT_TRUE(Ui().errors.at(0).contains(QStringLiteral("out.jpg")));
    EXPECT_FALSE(QFileInfo::exists(target));
    EXPECT_TRUE(Doc().openedImage);
    EXPECT_EQ(Doc().Title(), QStringLiteral("camera.png"));
}

TEST_F(DocumentFiles, SaveWithoutImage_LeavesAnExistingFileAlone) {
    Start();
    const QString target = TempPath(QStringLiteral("keep.jpg"));
    ASSERT_TRUE(WriteAll(target, "precious"));
    EXPECT_FALSE(Doc().OnSaveDocument(target));
    EXPECT_EQ(ReadAll(target), QByteArray("precious"));
    EXPECT_EQ(Ui().errors.size(), 1);
}

TEST_F(DocumentFiles, SaveAfterAnUncommittedEdit_WritesTheLastCommittedImage) {
    Start();
    OpenThroughCommand(TestImage("astronaut.png"));
    const QString expected = TempPath(QStringLiteral("expected.jpg"));
    ASSERT_TRUE(SaveImageFile(*Doc().CurrentState()->image, expected.toStdString()));
    EditSpectrum(40);
    const QString saved = TempPath(QStringLiteral("saved.jpg"));
    Ui().saveAnswers.push_back(saved);
    Trigger(ID_FILE_SAVE);
    EXPECT_EQ(ReadAll(saved), ReadAll(expected));
}

TEST_F(DocumentFiles, Copy_PutsTheCurrentImageOnTheClipboard) {
    Start();
    OpenThroughCommand(TestImage("astronaut.png"));
    EditSpectrum(30);
    Trigger(ID_FFT_CREATE_FINAL);
    Trigger(ID_EDIT_COPY);
    EXPECT_TRUE(Ui().errors.isEmpty());
    const QImage copied = QApplication::clipboard()->image();
    const QImage expected = ToQImage(*Doc().CurrentState()->image);
    ASSERT_EQ(copied.size(), expected.size());
    for (const QPoint p : {QPoint(0, 0), QPoint(256, 256), QPoint(511, 100), QPoint(37, 480)}) {
        EXPECT_EQ(copied.pixel(p), expected.pixel(p)) << p.x() << "," << p.y();
    }
}

TEST_F(DocumentFiles, CopyOfATwoColourImage_PastesAsTiffWithOnlyItsColoursAndBlack) {
    Start();
    OpenThroughCommand(TestImage("checker_bilevel.png"));
    Trigger(ID_EDIT_COPY);
    // A desktop clipboard encodes the image in the format the pasting program asks for.
    QByteArray tiff;
    QBuffer buffer(&tiff);
    buffer.open(QIODevice::WriteOnly);
    LeaveNoise(0xAB);
    ASSERT_TRUE(QApplication::clipboard()->image().save(&buffer, "TIFF"));
    const QImage pasted = QImage::fromData(tiff, "TIFF");
    ASSERT_EQ(pasted.format(), QImage::Format_Indexed8);
    const std::vector<std::uint32_t>& colours = Doc().CurrentState()->image->Palette().entries;
    const QList<QRgb> table = pasted.colorTable();
    EXPECT_EQ(std::count_if(table.begin(), table.end(),
                            [&colours](QRgb entry) {
                                return entry != qRgb(0, 0, 0) &&
                                       std::find(colours.begin(), colours.end(), entry) ==
                                           colours.end();
                            }),
              0);
}

TEST_F(DocumentFiles, CommandLineFile_IsOpenedWithoutMakingAPaneActive) {
    Start({TestImage("coins.png")});
    ASSERT_NE(Doc().originalImage, nullptr);
    EXPECT_EQ(Doc().originalImage->Width(), 384u);
    EXPECT_EQ(Doc().Title(), QStringLiteral("coins.png"));
    EXPECT_EQ(Frame().ActivePane(), nullptr);
}

TEST_F(DocumentFiles, BadCommandLineFile_StartsEmptyWithAMessage) {
    Start({TempPath(QStringLiteral("missing.png"))});
    EXPECT_TRUE(Frame().isVisible());
    EXPECT_EQ(Doc().originalImage, nullptr);
    ASSERT_EQ(Ui().errors.size(), 1);
    EXPECT_TRUE(Ui().errors.at(0).contains(QStringLiteral("missing.png")));
    EXPECT_EQ(Frame().windowTitle(), QStringLiteral("FFT Quarvel - Untitled"));
}

TEST_F(DocumentFiles, DroppedFile_OpensWithoutMakingAPaneActive) {
    Start();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(TestImage("camera.png"))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&Frame(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&Frame(), &drop);
    QApplication::processEvents();
    ASSERT_NE(Doc().originalImage, nullptr);
    EXPECT_EQ(Doc().Title(), QStringLiteral("camera.png"));
    // Zoom commands stay without a handler until the person clicks into the view.
    EXPECT_EQ(Frame().ActivePane(), nullptr);
    EXPECT_FALSE(IsEnabled(ID_ZOOM_FIT));
}

TEST_F(DocumentFiles, RecentFiles_KeepSixMostRecentFirstAndSurviveARestart) {
    Start();
    const char* names[] = {"astronaut.png", "camera.png", "coffee.png",      "coins.png",
                           "horse.png",     "rocket.jpg", "palette_gray.png"};
    for (const char* name : names) {
        Doc().OnOpenDocument(TestImage(name));
    }
    ASSERT_EQ(Frame().RecentFiles().size(), CMainFrame::kRecentFileCount);
    EXPECT_EQ(Frame().RecentFiles().first(), TestImage("palette_gray.png"));
    EXPECT_FALSE(Frame().RecentFiles().contains(TestImage("astronaut.png")));

    Restart();
    ASSERT_EQ(Frame().RecentFiles().size(), CMainFrame::kRecentFileCount);
    EXPECT_TRUE(Action(ID_FILE_MRU_FIRST + 5)->text().contains(QStringLiteral("camera.png")));
    Trigger(ID_FILE_MRU_FIRST + 5);
    EXPECT_EQ(Doc().Title(), QStringLiteral("camera.png"));
    EXPECT_EQ(Frame().RecentFiles().first(), TestImage("camera.png"));
}

TEST_F(DocumentFiles, EmptyRecentList_ShowsOneDisabledItem) {
    Start();
    EXPECT_TRUE(Action(ID_FILE_MRU_FIRST)->isVisible());
    EXPECT_FALSE(IsEnabled(ID_FILE_MRU_FIRST));
    EXPECT_FALSE(Action(ID_FILE_MRU_FIRST + 1)->isVisible());
}

}  // namespace
}  // namespace quarvel::test
