#include "dialogs/CDlgFilterDesign.h"

#include <QComboBox>
#include <QDir>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QUrl>
#include <QVBoxLayout>

#include "dialogs/CButtonDraw.h"
#include "dialogs/CEditDisabled.h"
#include "dialogs/ResponsePlot.h"
#include "ui/CUserInteraction.h"

namespace quarvel {

namespace {

/// Client size of the plot control: its template size in dialog units at the usual 8-point
/// dialog font.
constexpr int kPlotWidth = 452;
constexpr int kPlotHeight = 278;

}  // namespace

CDlgFilterDesign::CDlgFilterDesign(const QString& windowTitle, QWidget* parent)
    : QDialog(parent), title(windowTitle) {}

CDlgFilterDesign::~CDlgFilterDesign() = default;

void CDlgFilterDesign::BuildControls() {
    auto* page = new QVBoxLayout(this);

    plot_ = new CButtonDraw(this);
    plot_->setObjectName(QStringLiteral("responsePlot"));
    plot_->setFixedSize(kPlotWidth, kPlotHeight);
    plot_->SetDrawHandler([this](QPainter& painter, const QRect& client) {
        DrawResponsePlot(painter, client, responseCurve_, Caption(), Markers());
    });
    page->addWidget(plot_, 0, Qt::AlignHCenter);

    auto* group = new QGroupBox(QStringLiteral("Filter design"), this);
    auto* groupRow = new QHBoxLayout(group);

    auto* left = new QVBoxLayout;
    dimensionList_ = new QComboBox(group);
    dimensionList_->setObjectName(QStringLiteral("dimensionList"));
    dimensionList_->addItems({QStringLiteral("2D Filter"), QStringLiteral("1D Filter")});
    left->addWidget(dimensionList_);
    const char* const directionTexts[3] = {"Filter Rows and Columns", "Filter Rows",
                                           "Filter Columns"};
    for (int i = 0; i < 3; ++i) {
        directionButtons_[i] = new QRadioButton(QString::fromLatin1(directionTexts[i]), group);
        directionButtons_[i]->setObjectName(QStringLiteral("direction%1").arg(i));
        left->addWidget(directionButtons_[i]);
        // The choice is kept at once, so that showing the members again keeps it.
        connect(directionButtons_[i], &QRadioButton::toggled, this, [this, i](bool on) {
            if (on) {
                direction = i;
            }
        });
    }
    left->addStretch();
    groupRow->addLayout(left);

    auto* line = new QFrame(group);
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Sunken);
    groupRow->addWidget(line);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("Degree"), group), 0, 0, 1, 3);
    degreeList_ = new QComboBox(group);
    degreeList_->setObjectName(QStringLiteral("degreeList"));
    for (int degree = 1; degree <= 6; ++degree) {
        degreeList_->addItem(QString::number(degree));
    }
    grid->addWidget(degreeList_, 1, 0, Qt::AlignLeft);
    AddCutOffRows(*grid);
    grid->setRowStretch(grid->rowCount(), 1);
    groupRow->addLayout(grid, 1);
    page->addWidget(group);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    okButton_ = new QPushButton(QStringLiteral("OK"), this);
    okButton_->setObjectName(QStringLiteral("okButton"));
    okButton_->setDefault(true);
    auto* cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    cancelButton->setObjectName(QStringLiteral("cancelButton"));
    auto* helpButton = new QPushButton(QStringLiteral("Help..."), this);
    helpButton->setObjectName(QStringLiteral("helpButton"));
    buttons->addWidget(okButton_);
    buttons->addWidget(cancelButton);
    buttons->addWidget(helpButton);
    page->addLayout(buttons);

    connect(okButton_, &QPushButton::clicked, this, &CDlgFilterDesign::accept);
    connect(cancelButton, &QPushButton::clicked, this, &CDlgFilterDesign::reject);
    connect(helpButton, &QPushButton::clicked, this, &CDlgFilterDesign::OnHelp);
    connect(degreeList_, &QComboBox::currentIndexChanged, this, &CDlgFilterDesign::OnDegreeChanged);
    connect(dimensionList_, &QComboBox::currentIndexChanged, this,
            &CDlgFilterDesign::OnDimensionChanged);
}

void CDlgFilterDesign::showEvent(QShowEvent* event) {
    if (!started_) {
        started_ = true;
        ShowMembers();
        setWindowTitle(title);
        StartValues();
        EnableDirections();
        ComputeCurve();
    }
    QDialog::showEvent(event);
}

void CDlgFilterDesign::ShowMembers() {
    const QSignalBlocker degreeBlock(degreeList_);
    const QSignalBlocker dimensionBlock(dimensionList_);
    degreeList_->setCurrentIndex(degreeIndex);
    dimensionList_->setCurrentIndex(dimensionIndex);
    if (direction >= 0 && direction < 3) {
        directionButtons_[direction]->setChecked(true);
    }
}

void CDlgFilterDesign::ReadControls() {
    degreeIndex = degreeList_->currentIndex();
    dimensionIndex = dimensionList_->currentIndex();
    for (int i = 0; i < 3; ++i) {
        if (directionButtons_[i]->isChecked()) {
            direction = i;
        }
    }
}

void CDlgFilterDesign::Refresh() {
    ComputeCurve();
    plot_->update();
}

void CDlgFilterDesign::RefuseTypedValue(CEditDisabled* field, int minimum, int maximum) {
    const QString text =
        QStringLiteral("Enter an integer from %1 to %2.").arg(minimum).arg(maximum);
    if (interaction != nullptr) {
        interaction->ShowWarning(this, title, text);
    } else {
        CUserInteraction().ShowWarning(this, title, text);
    }
    field->setFocus();
    field->selectAll();
}

void CDlgFilterDesign::FocusOk() {
    okButton_->setFocus();
}

void CDlgFilterDesign::accept() {
    ReadControls();
    QDialog::accept();
}

void CDlgFilterDesign::OnDegreeChanged() {
    ReadControls();
    Refresh();
    FocusOk();
}

void CDlgFilterDesign::OnDimensionChanged() {
    ReadControls();
    if (dimensionIndex == 0) {
        direction = 0;
    }
    ShowMembers();
    EnableDirections();
}

void CDlgFilterDesign::EnableDirections() {
    directionButtons_[1]->setEnabled(dimensionIndex == 1);
    directionButtons_[2]->setEnabled(dimensionIndex == 1);
}

void CDlgFilterDesign::OnHelp() {
    CUserInteraction fallback;
    CUserInteraction& person = interaction != nullptr ? *interaction : fallback;
    if (!person.ShowManual(this, manualPath, QStringLiteral("filters"))) {
        person.ShowError(this, title,
                         QStringLiteral("The manual was not found at %1.")
                             .arg(QDir::toNativeSeparators(manualPath)));
    }
}

}  // namespace quarvel
