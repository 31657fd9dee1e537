#include "app/CFFTQuarvelView.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTabBar>

#include "views/CPaneBase.h"

namespace quarvel {

namespace {

constexpr int kTabIconSize = 24;

}  // namespace

CFFTQuarvelView::CFFTQuarvelView(CPaneBase* imagePane, CPaneBase* spectrumPane, QWidget* parent)
    : QTabWidget(parent), imagePane_(imagePane), spectrumPane_(spectrumPane) {
    Q_ASSERT(imagePane != nullptr && spectrumPane != nullptr);
    setTabPosition(QTabWidget::South);
    setDocumentMode(true);
    setIconSize(QSize(kTabIconSize, kTabIconSize));
    addTab(imagePane_, QIcon(ImageTabIcon()), QStringLiteral("Image "));
    addTab(spectrumPane_, QIcon(SpectrumTabIcon()), QStringLiteral("Power Spectrum "));
    setCurrentIndex(0);

    WatchWidget(this);
    WatchWidget(tabBar());
    WatchWidget(imagePane_);
    WatchWidget(spectrumPane_);
    connect(this, &QTabWidget::currentChanged, this, &CFFTQuarvelView::OnCurrentChanged);
}

CFFTQuarvelView::~CFFTQuarvelView() = default;

void CFFTQuarvelView::WatchWidget(QWidget* widget) {
    widget->installEventFilter(this);
}

void CFFTQuarvelView::SetActiveTab(int index) {
    Q_ASSERT(index == 0 || index == 1);
    setCurrentIndex(index);
}

CPaneBase* CFFTQuarvelView::CurrentPane() const {
    return currentIndex() == 1 ? spectrumPane_ : imagePane_;
}

void CFFTQuarvelView::OnCurrentChanged(int index) {
    if (index < 0) {
        return;
    }
    if (activeTab != index) {
        activeTab = index;
    }
    Q_EMIT PaneActivated(CurrentPane());
}

bool CFFTQuarvelView::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
            Q_EMIT PaneActivated(CurrentPane());
            break;
        case QEvent::MouseButtonRelease:
        case QEvent::KeyRelease:
            Q_EMIT InteractionEnded();
            break;
        default:
            break;
    }
    return QTabWidget::eventFilter(watched, event);
}

void CFFTQuarvelView::contextMenuEvent(QContextMenuEvent* event) {
    if (contextMenu_ == nullptr) {
        event->ignore();
        return;
    }
    Q_EMIT PaneActivated(CurrentPane());
    contextMenu_->popup(event->globalPos());
    event->accept();
}

QPixmap CFFTQuarvelView::ImageTabIcon() {
    QPixmap pixmap(kTabIconSize, kTabIconSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF frame(1.5, 3.5, 21, 17);
    painter.setPen(QPen(QColor(60, 60, 60), 1));
    painter.setBrush(QColor(120, 180, 235));
    painter.drawRect(frame);
    // The sun, two hills and the frame drawn over them.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 214, 64));
    painter.drawEllipse(QPointF(17, 8), 2.5, 2.5);
    QPainterPath far;
    far.moveTo(2, 20);
    far.lineTo(2, 15);
    far.quadTo(8, 9, 14, 15);
    far.lineTo(22, 20);
    far.closeSubpath();
    painter.setBrush(QColor(70, 140, 60));
    painter.drawPath(far);
    QPainterPath near;
    near.moveTo(6, 20);
    near.quadTo(15, 11, 22, 16);
    near.lineTo(22, 20);
    near.closeSubpath();
    painter.setBrush(QColor(40, 105, 45));
    painter.drawPath(near);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(60, 60, 60), 1));
    painter.drawRect(frame);
    return pixmap;
}

QPixmap CFFTQuarvelView::SpectrumTabIcon() {
    QPixmap pixmap(kTabIconSize, kTabIconSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF square(1.5, 1.5, 21, 21);
    QRadialGradient glow(square.center(), 11);
    glow.setColorAt(0.0, QColor(255, 255, 255));
    glow.setColorAt(0.15, QColor(150, 200, 255));
    glow.setColorAt(0.5, QColor(30, 80, 190));
    glow.setColorAt(1.0, QColor(8, 20, 80));
    painter.setPen(QPen(QColor(20, 30, 70), 1));
    painter.setBrush(glow);
    painter.drawRect(square);
    // The bright axes a photograph's spectrum shows through its centre.
    painter.setPen(QPen(QColor(170, 210, 255, 200), 1));
    painter.drawLine(QPointF(12, 3), QPointF(12, 21));
    painter.drawLine(QPointF(3, 12), QPointF(21, 12));
    return pixmap;
}

}  // namespace quarvel
