#include "app/CAboutDlg.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSysInfo>

#include "app/CommandIcons.h"

namespace quarvel {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About FFT Quarvel"));
    setModal(true);

    auto* icon = new QLabel(this);
    icon->setPixmap(ProgramIcon().pixmap(48, 48));
    icon->setAlignment(Qt::AlignTop | Qt::AlignLeft);

    auto* name = new QLabel(QStringLiteral("FFT Quarvel"), this);
    QFont nameFont = name->font();
    nameFont.setBold(true);
    nameFont.setPointSizeF(nameFont.pointSizeF() * 1.25);
    name->setFont(nameFont);

    versionLabel_ =
        new QLabel(QStringLiteral("Version %1").arg(QStringLiteral(QUARVEL_VERSION)), this);
    bitnessLabel_ = new QLabel(QStringLiteral("(%1 bit)").arg(QSysInfo::WordSize), this);
    auto* about = new QLabel(QStringLiteral("Filters images in the frequency domain: edit the "
                                            "power spectra of an image and create its final "
                                            "image."),
                             this);
    about->setWordWrap(true);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QGridLayout(this);
    layout->setHorizontalSpacing(14);
    layout->addWidget(icon, 0, 0, 3, 1);
    layout->addWidget(name, 0, 1, 1, 2);
    layout->addWidget(versionLabel_, 1, 1);
    layout->addWidget(bitnessLabel_, 1, 2);
    layout->addWidget(about, 2, 1, 1, 2);
    layout->addWidget(buttons, 3, 0, 1, 3);
    layout->setColumnStretch(2, 1);
    setMinimumWidth(360);
}

CAboutDlg::~CAboutDlg() = default;

QString CAboutDlg::BitnessText() const {
    return bitnessLabel_->text();
}

QString CAboutDlg::VersionText() const {
    return versionLabel_->text();
}

}  // namespace quarvel
