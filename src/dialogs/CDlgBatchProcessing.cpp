#include "dialogs/CDlgBatchProcessing.h"

#include <algorithm>
#include <memory>
#include <utility>

#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

#include "dialogs/CEditDisabled.h"
#include "dialogs/CUpDownArrows.h"
#include "recipe/RecipeFile.h"
#include "ui/CUserInteraction.h"

namespace quarvel {

namespace {

const QString kMessageTitle = QStringLiteral("FFT Quarvel");

/// The labels of the four values of a rectangle row, in member order.
constexpr const char* kRectangleLabels[4] = {"x1", "y1", "x2", "y2"};

std::int32_t& RectangleValue(RectangleList& list, std::size_t row, std::size_t column) {
    SpectrumRectangle& entry = list[row];
    switch (column) {
        case 0:
            return entry.x1;
        case 1:
            return entry.y1;
        case 2:
            return entry.x2;
        default:
            return entry.y2;
    }
}

QString FromLocal(const std::string& text) {
    return QFile::decodeName(QByteArray::fromStdString(text));
}

std::string ToLocal(const QString& text) {
    return QFile::encodeName(text).toStdString();
}

}  // namespace

CDlgBatchProcessing::CDlgBatchProcessing(CUserInteraction& interaction, BatchSettingsStore store,
                                         QWidget* parent)
    : QDialog(parent), interaction_(interaction), store_(std::move(store)) {
    setWindowTitle(QStringLiteral("Batch FFT Processing"));
    BuildControls();
    LoadBatchSettings();
    ShowMembers();
    {
        const QSignalBlocker block(slider_);
        slider_->setRange(kBatchMinCutOff, kBatchMaxCutOff);
        slider_->setValue(cutOff);
    }
    EnableDirections();
    EnableProcess();
}

CDlgBatchProcessing::~CDlgBatchProcessing() = default;

void CDlgBatchProcessing::BuildControls() {
    auto* page = new QVBoxLayout(this);

    auto* folderGroup = new QGroupBox(QStringLiteral("Folder"), this);
    auto* folderRow = new QHBoxLayout(folderGroup);
    folderField_ = new QLineEdit(folderGroup);
    folderField_->setObjectName(QStringLiteral("folderField"));
    selectButton_ = new QPushButton(QStringLiteral("Select..."), folderGroup);
    selectButton_->setObjectName(QStringLiteral("selectButton"));
    folderRow->addWidget(folderField_, 1);
    folderRow->addWidget(selectButton_);
    page->addWidget(folderGroup);

    auto* typeGroup = new QGroupBox(QStringLiteral("Select the type of filtering "), this);
    auto* typeColumn = new QVBoxLayout(typeGroup);
    const char* const typeTexts[3] = {"Use low-pass convolution filter",
                                      "Use power spectrum deleting", "Use a recipe"};
    const char* const typeNames[3] = {"lowPassType", "deletingType", "recipeType"};
    for (int i = 0; i < 3; ++i) {
        typeButtons_[i] = new QRadioButton(QString::fromLatin1(typeTexts[i]), typeGroup);
        typeButtons_[i]->setObjectName(QString::fromLatin1(typeNames[i]));
        typeColumn->addWidget(typeButtons_[i]);
        connect(typeButtons_[i], &QRadioButton::clicked, this,
                &CDlgBatchProcessing::OnTypeOrDirectionClicked);
    }
    // The recipe file of "Use a recipe", beside its button.
    auto* recipeRow = new QHBoxLayout;
    recipeField_ = new QLineEdit(typeGroup);
    recipeField_->setObjectName(QStringLiteral("recipeField"));
    recipeField_->setPlaceholderText(QStringLiteral("recipe file (.json)"));
    recipeButton_ = new QPushButton(QStringLiteral("Select..."), typeGroup);
    recipeButton_->setObjectName(QStringLiteral("recipeButton"));
    recipeRow->addSpacing(20);
    recipeRow->addWidget(recipeField_, 1);
    recipeRow->addWidget(recipeButton_);
    typeColumn->addLayout(recipeRow);
    connect(recipeButton_, &QPushButton::clicked, this, &CDlgBatchProcessing::OnSelectRecipe);
    page->addWidget(typeGroup);

    auto* designGroup = new QGroupBox(QStringLiteral("Low-pass convolution filter design "), this);
    auto* designRow = new QHBoxLayout(designGroup);
    auto* left = new QVBoxLayout;
    dimensionList_ = new QComboBox(designGroup);
    dimensionList_->setObjectName(QStringLiteral("dimensionList"));
    dimensionList_->addItems({QStringLiteral("2D Filter"), QStringLiteral("1D Filter")});
    left->addWidget(dimensionList_, 0, Qt::AlignLeft);
    const char* const directionTexts[3] = {"Filter Rows and Columns", "Filter Rows",
                                           "Filter Columns"};
    for (int i = 0; i < 3; ++i) {
        directionButtons_[i] =
            new QRadioButton(QString::fromLatin1(directionTexts[i]), designGroup);
        directionButtons_[i]->setObjectName(QStringLiteral("direction%1").arg(i));
        left->addWidget(directionButtons_[i]);
        connect(directionButtons_[i], &QRadioButton::clicked, this,
                &CDlgBatchProcessing::OnTypeOrDirectionClicked);
    }
    left->addStretch();
    designRow->addLayout(left, 2);

    auto* line = new QFrame(designGroup);
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Sunken);
    designRow->addWidget(line);

    auto* right = new QGridLayout;
    right->setHorizontalSpacing(2);
    right->addWidget(new QLabel(QStringLiteral("Degree"), designGroup), 0, 0, 1, 3);
    degreeList_ = new QComboBox(designGroup);
    degreeList_->setObjectName(QStringLiteral("degreeList"));
    for (int degree = 1; degree <= kBatchMaxDegreeIndex + 1; ++degree) {
        degreeList_->addItem(QString::number(degree));
    }
    right->addWidget(degreeList_, 1, 0, Qt::AlignLeft);
    right->addWidget(new QLabel(QStringLiteral("Cut off frequency (%)"), designGroup), 2, 0, 1, 3);
    slider_ = new QSlider(Qt::Horizontal, designGroup);
    slider_->setObjectName(QStringLiteral("cutOffSlider"));
    slider_->setTickPosition(QSlider::NoTicks);
    slider_->setMinimumWidth(220);
    cutOffField_ = new CEditDisabled(designGroup);
    cutOffField_->setObjectName(QStringLiteral("cutOffField"));
    cutOffField_->setFixedWidth(60);
    arrows_ = new CUpDownArrows(designGroup);
    arrows_->setObjectName(QStringLiteral("cutOffArrows"));
    right->addWidget(slider_, 3, 0);
    right->addWidget(cutOffField_, 3, 1);
    right->addWidget(arrows_, 3, 2);
    right->setRowStretch(4, 1);
    designRow->addLayout(right, 3);
    page->addWidget(designGroup);

    auto* rectangleGroup =
        new QGroupBox(QStringLiteral(" Rectangles of power spectrum deleting "), this);
    auto* rectangleGrid = new QGridLayout(rectangleGroup);
    for (std::size_t row = 0; row < rectangleFields_.size(); ++row) {
        const int gridRow = static_cast<int>(row);
        for (std::size_t column = 0; column < 4; ++column) {
            const int gridColumn = static_cast<int>(column) * 2;
            auto* label = new QLabel(QString::fromLatin1(kRectangleLabels[column]), rectangleGroup);
            auto* field = new QLineEdit(rectangleGroup);
            field->setObjectName(QStringLiteral("rectangle%1%2")
                                     .arg(row + 1)
                                     .arg(QString::fromLatin1(kRectangleLabels[column])));
            field->setFixedWidth(80);
            label->setBuddy(field);
            rectangleGrid->addWidget(label, gridRow, gridColumn, Qt::AlignRight);
            rectangleGrid->addWidget(field, gridRow, gridColumn + 1);
            rectangleFields_[row][column] = field;
        }
        auto* clear = new QPushButton(QStringLiteral("Clear"), rectangleGroup);
        clear->setObjectName(QStringLiteral("clear%1").arg(row + 1));
        rectangleGrid->addWidget(clear, gridRow, 9);
        connect(clear, &QPushButton::clicked, this, [this, row] { OnClearRow(row); });
    }
    rectangleGrid->setColumnStretch(8, 1);
    page->addWidget(rectangleGroup);

    page->addWidget(new QLabel(QStringLiteral("Filtered files:"), this));
    log_ = new QPlainTextEdit(this);
    log_->setObjectName(QStringLiteral("logField"));
    log_->setReadOnly(true);
    log_->setLineWrapMode(QPlainTextEdit::NoWrap);
    log_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    log_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // The look of a display field, like the cut-off value.
    log_->setFocusPolicy(Qt::NoFocus);
    log_->viewport()->setCursor(Qt::ArrowCursor);
    QPalette look = log_->palette();
    look.setColor(QPalette::Base, look.color(QPalette::Button));
    log_->setPalette(look);
    log_->setMinimumHeight(140);
    page->addWidget(log_, 1);

    auto* bottom = new QHBoxLayout;
    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("progressBar"));
    progress_->setRange(0, 1);
    progress_->setValue(0);
    progress_->setFormat(QString());
    bottom->addWidget(progress_, 1);
    processButton_ = new QPushButton(QStringLiteral("Process"), this);
    processButton_->setObjectName(QStringLiteral("processButton"));
    exitButton_ = new QPushButton(QStringLiteral("Exit"), this);
    exitButton_->setObjectName(QStringLiteral("exitButton"));
    bottom->addWidget(processButton_);
    bottom->addWidget(exitButton_);
    page->addLayout(bottom);
    setMinimumWidth(640);

    connect(selectButton_, &QPushButton::clicked, this, &CDlgBatchProcessing::OnSelectFolder);
    connect(folderField_, &QLineEdit::textChanged, this, &CDlgBatchProcessing::OnFolderEdited);
    connect(dimensionList_, &QComboBox::currentIndexChanged, this,
            &CDlgBatchProcessing::OnDimensionChanged);
    connect(degreeList_, &QComboBox::currentIndexChanged, this,
            &CDlgBatchProcessing::OnDegreeChanged);
    connect(slider_, &QSlider::valueChanged, this, &CDlgBatchProcessing::OnSliderMoved);
    connect(arrows_, &CUpDownArrows::Stepped, this, &CDlgBatchProcessing::OnArrow);
    cutOffField_->AcceptTypedValues(kBatchMinCutOff, kBatchMaxCutOff);
    connect(cutOffField_, &CEditDisabled::ValueTyped, this, &CDlgBatchProcessing::OnCutOffTyped);
    connect(cutOffField_, &CEditDisabled::ValueRefused, this, [this](int minimum, int maximum) {
        interaction_.ShowWarning(
            this, kMessageTitle,
            QStringLiteral("Enter an integer from %1 to %2.").arg(minimum).arg(maximum));
        cutOffField_->setFocus();
        cutOffField_->selectAll();
    });
    connect(processButton_, &QPushButton::clicked, this, &CDlgBatchProcessing::RunBatch);
    connect(exitButton_, &QPushButton::clicked, this, &CDlgBatchProcessing::reject);
    slider_->installEventFilter(this);
}

BatchSettings CDlgBatchProcessing::Settings() const {
    BatchSettings settings;
    settings.filteringType = filteringType;
    settings.degreeIndex = degreeIndex;
    settings.cutOff = cutOff;
    settings.dimensionIndex = dimensionIndex;
    settings.direction = direction;
    settings.rectangles = rectangles;
    settings.lastPath = ToLocal(folder);
    settings.recipePath = ToLocal(recipePath);
    return settings;
}

void CDlgBatchProcessing::LoadBatchSettings() {
    const BatchSettings settings = store_.LoadBatchSettings();
    folder = FromLocal(settings.lastPath);
    filteringType = settings.filteringType;
    dimensionIndex = settings.dimensionIndex;
    direction = settings.direction;
    degreeIndex = settings.degreeIndex;
    cutOff = settings.cutOff;
    rectangles = settings.rectangles;
    recipePath = FromLocal(settings.recipePath);
}

void CDlgBatchProcessing::SaveBatchSettings() {
    const IoResult saved = store_.SaveBatchSettings(Settings());
    if (!saved) {
        interaction_.ShowWarning(
            this, kMessageTitle,
            QStringLiteral("The batch settings were not saved: %1").arg(FromLocal(saved.message)));
    }
}

void CDlgBatchProcessing::ShowMembers() {
    const QSignalBlocker dimensionBlock(dimensionList_);
    const QSignalBlocker degreeBlock(degreeList_);
    folderField_->setText(folder);
    typeButtons_[std::clamp<std::int32_t>(filteringType, LowPassConvolution, RecipeReplay)]
        ->setChecked(true);
    recipeField_->setText(recipePath);
    dimensionList_->setCurrentIndex(dimensionIndex);
    if (direction >= 0 && direction < 3) {
        directionButtons_[direction]->setChecked(true);
    }
    degreeList_->setCurrentIndex(degreeIndex);
    cutOffField_->ShowValue(cutOff);
    for (std::size_t row = 0; row < rectangleFields_.size(); ++row) {
        for (std::size_t column = 0; column < 4; ++column) {
            rectangleFields_[row][column]->setText(
                QString::number(RectangleValue(rectangles, row, column)));
        }
    }
}

bool CDlgBatchProcessing::ReadControls(bool complain) {
    filteringType = typeButtons_[2]->isChecked()   ? RecipeReplay
                    : typeButtons_[1]->isChecked() ? PowerSpectrumDeleting
                                                   : LowPassConvolution;
    recipePath = recipeField_->text();
    dimensionIndex = dimensionList_->currentIndex();
    for (int i = 0; i < 3; ++i) {
        if (directionButtons_[i]->isChecked()) {
            direction = i;
        }
    }
    degreeIndex = degreeList_->currentIndex();
    folder = folderField_->text();
    QLineEdit* firstInvalid = nullptr;
    for (std::size_t row = 0; row < rectangleFields_.size(); ++row) {
        for (std::size_t column = 0; column < 4; ++column) {
            QLineEdit* field = rectangleFields_[row][column];
            bool isInteger = false;
            const int value = field->text().trimmed().toInt(&isInteger, 10);
            if (isInteger) {
                RectangleValue(rectangles, row, column) = value;
            } else if (firstInvalid == nullptr) {
                firstInvalid = field;
            }
        }
    }
    if (firstInvalid != nullptr && complain) {
        interaction_.ShowWarning(this, kMessageTitle, QStringLiteral("Enter an integer."));
        firstInvalid->setFocus();
        firstInvalid->selectAll();
    }
    return firstInvalid == nullptr;
}

void CDlgBatchProcessing::EnableDirections() {
    directionButtons_[1]->setEnabled(dimensionIndex == 1);
    directionButtons_[2]->setEnabled(dimensionIndex == 1);
}

void CDlgBatchProcessing::EnableProcess() {
    processButton_->setEnabled(!running_ && !folder.isEmpty() && QFileInfo(folder).isDir());
}

void CDlgBatchProcessing::OnTypeOrDirectionClicked() {
    ReadControls(false);
}

void CDlgBatchProcessing::OnDimensionChanged() {
    ReadControls(false);
    if (dimensionIndex == 0) {
        direction = 0;
    }
    ShowMembers();
    EnableDirections();
}

void CDlgBatchProcessing::OnDegreeChanged() {
    ReadControls(false);
    processButton_->setFocus();
}

void CDlgBatchProcessing::OnSliderMoved() {
    // Only the cut-off is shown again: the other fields may hold text being typed.
    cutOff = slider_->value();
    cutOffField_->ShowValue(cutOff);
}

void CDlgBatchProcessing::OnCutOffTyped(int value) {
    cutOff = value;
    {
        const QSignalBlocker block(slider_);
        slider_->setValue(cutOff);
    }
    processButton_->setFocus();
}

void CDlgBatchProcessing::OnArrow(int step) {
    cutOff = std::max(cutOff + step, 0);
    cutOffField_->ShowValue(cutOff);
    {
        const QSignalBlocker block(slider_);
        slider_->setValue(cutOff);
    }
    processButton_->setFocus();
}

bool CDlgBatchProcessing::eventFilter(QObject* watched, QEvent* event) {
    // Each repaint of the slider brings the cut-off back to the slider's position, so a value
    // stepped outside the slider's range by the arrows returns into it.
    if (watched == slider_ && event->type() == QEvent::Paint && slider_->value() != cutOff) {
        OnSliderMoved();
    }
    return QDialog::eventFilter(watched, event);
}

void CDlgBatchProcessing::OnClearRow(std::size_t row) {
    // The row's own fields are emptied first, so that a value that is not an integer there is
    // cleared rather than complained about.
    for (QLineEdit* field : rectangleFields_[row]) {
        field->setText(QStringLiteral("0"));
    }
    ReadControls(false);
    rectangles[row] = SpectrumRectangle{};
    ShowMembers();
}

void CDlgBatchProcessing::OnFolderEdited() {
    // Only the folder is read: every keystroke passes here, and a message about another field
    // would take the focus away from the one being typed in.
    folder = folderField_->text();
    EnableProcess();
}

void CDlgBatchProcessing::OnSelectFolder() {
    const QString chosen =
        interaction_.AskFolder(this, QStringLiteral("Select folder:"), folderField_->text());
    if (chosen.isEmpty()) {
        return;
    }
    folder = chosen;
    if (!folder.endsWith(QLatin1Char('/'))) {
        folder += QLatin1Char('/');
    }
    folderField_->setText(folder);
    if (QFileInfo(folder).isDir()) {
        const IoResult saved = store_.SaveLastPath(ToLocal(folder));
        if (!saved) {
            interaction_.ShowWarning(
                this, kMessageTitle,
                QStringLiteral("The folder was not remembered: %1").arg(FromLocal(saved.message)));
        }
    }
    EnableProcess();
}

void CDlgBatchProcessing::OnSelectRecipe() {
    const QString chosen = interaction_.AskRecipePath(this, false, recipeField_->text());
    if (chosen.isEmpty()) {
        return;
    }
    recipePath = chosen;
    recipeField_->setText(recipePath);
    typeButtons_[RecipeReplay]->setChecked(true);
    filteringType = RecipeReplay;
}

void CDlgBatchProcessing::AppendLogLine(const QString& line) {
    log_->appendPlainText(line);
    log_->verticalScrollBar()->setValue(log_->verticalScrollBar()->maximum());
}

void CDlgBatchProcessing::RunBatch() {
    if (running_ || !ReadControls(true)) {
        return;
    }
    // A recipe is read once for the run; one that cannot be read stops it before it starts.
    processor_.transformSize = transformSize_;
    processor_.SetRecipe(nullptr);
    if (filteringType == RecipeReplay) {
        Recipe recipe;
        const IoResult loaded = LoadRecipeFile(ToLocal(recipePath), recipe);
        if (!loaded) {
            interaction_.ShowError(
                this, kMessageTitle,
                QStringLiteral("%1: %2").arg(recipePath, FromLocal(loaded.message)));
            return;
        }
        processor_.SetRecipe(std::make_shared<const Recipe>(std::move(recipe)));
    }
    running_ = true;
    stopRequested_ = false;
    EnableProcess();
    log_->clear();
    if (!folder.isEmpty() && !folder.endsWith(QLatin1Char('/'))) {
        folder += QLatin1Char('/');
    }
    folderField_->setText(folder);
    const auto showProgress = [this](std::size_t done, std::size_t count) {
        progress_->setRange(0, static_cast<int>(std::max<std::size_t>(count, 1)));
        progress_->setValue(static_cast<int>(done));
        progress_->setFormat(QStringLiteral("%1 of %2 files").arg(done).arg(count));
    };
    showProgress(0, 0);
    setCursor(Qt::BusyCursor);

    // Each file takes the values the controls hold when it starts.
    const BatchSettingsSource settingsSource = [this] {
        ReadControls(false);
        return Settings();
    };
    // Between files the window catches up with its events: repaints, edits, and "Exit".
    const BatchProgressHandler progress = [this, &showProgress](const BatchProgress& at) {
        showProgress(at.index, at.count);
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        return stopRequested_ ? BatchControl::Stop : BatchControl::Continue;
    };
    const BatchLogHandler logLine = [this](const std::string& line) {
        AppendLogLine(FromLocal(line));
    };
    const BatchSummary summary =
        processor_.RunBatch(ToLocal(folder), settingsSource, progress, logLine);
    showProgress(summary.written + summary.failed, summary.listed);

    unsetCursor();
    running_ = false;
    EnableProcess();
    if (closeResult_ >= 0) {
        QDialog::done(std::exchange(closeResult_, -1));
    }
}

void CDlgBatchProcessing::Close(int result) {
    // A field that holds no integer only keeps its member's value: the dialog always closes.
    ReadControls(false);
    SaveBatchSettings();
    if (running_) {
        // The file in hand is finished; the run then ends and the dialog closes.
        stopRequested_ = true;
        closeResult_ = result;
        return;
    }
    QDialog::done(result);
}

void CDlgBatchProcessing::accept() {
    Close(QDialog::Accepted);
}

void CDlgBatchProcessing::reject() {
    Close(QDialog::Rejected);
}

void CDlgBatchProcessing::keyPressEvent(QKeyEvent* event) {
    // Enter closes the dialog with OK, unless a button has the focus and takes it as a click.
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && qobject_cast<QPushButton*>(focusWidget()) == nullptr) {
        accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace quarvel
