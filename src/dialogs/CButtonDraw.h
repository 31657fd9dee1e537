#pragma once

#include <functional>

#include <QWidget>

class QPainter;

namespace quarvel {

/// A passive drawing surface: it takes no focus and no input, and leaves all painting to the
/// handler its dialog installs, which receives a painter on the control and its client
/// rectangle.
class CButtonDraw : public QWidget {
    Q_OBJECT

public:
    using DrawHandler = std::function<void(QPainter& painter, const QRect& client)>;

    explicit CButtonDraw(QWidget* parent = nullptr);

    void SetDrawHandler(DrawHandler handler) { drawHandler_ = std::move(handler); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    DrawHandler drawHandler_;
};

}  // namespace quarvel
