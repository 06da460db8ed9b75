#include "recorder/window/ZNOverlay.h"

#include <QEvent>
#include <QPainter>

namespace recorder {

ZNOverlay::ZNOverlay(QWidget* view) : QWidget(view), view_(view) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    view_->installEventFilter(this);
    setGeometry(view_->rect());
    QWidget::hide();
}

void ZNOverlay::show() {
    setGeometry(view_->rect());
    raise();
    QWidget::show();
}

void ZNOverlay::hide() { QWidget::hide(); }

bool ZNOverlay::eventFilter(QObject* watched, QEvent* event) {
    if (watched == view_ && (event->type() == QEvent::Resize || event->type() == QEvent::Move))
        setGeometry(view_->rect());
    return QWidget::eventFilter(watched, event);
}

void ZNOverlay::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // Half of the 5-point line falls outside the widget, as the frame hugs the view's edges.
    painter.setPen(QPen(palette().color(QPalette::Highlight), 5));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect());
}

} // namespace recorder
