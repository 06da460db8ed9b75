#include "recorder/window/StatusCell.h"

#include "recorder/window/ControllerDataSource.h"

#include <QPainter>

#include <cmath>

namespace recorder {
namespace {

const QColor recordingColour = QColor::fromRgbF(1.0f, 0.56f, 0.0f, 1.0f);

} // namespace

StatusCell* StatusCell::instance() {
    static StatusCell* cell = new StatusCell(); // lives as long as the application
    return cell;
}

StatusCell::StatusCell() {
    // Three quarters of a circle of radius 5, from the left over the top to the bottom.
    arc_.moveTo(-5, 0);
    arc_.cubicTo(-5, -3, -3, -5, 0, -5);
    arc_.cubicTo(3, -5, 5, -3, 5, 0);
    arc_.cubicTo(5, 3, 3, 5, 0, 5);
    head_.moveTo(0, 9);
    head_.lineTo(0, 1);
    head_.lineTo(-5, 5);
    head_.lineTo(0, 9);
    connect(&timer_, &QTimer::timeout, this, &StatusCell::tick);
    timer_.start(100);
}

void StatusCell::tick() {
    rotation_ = static_cast<float>(static_cast<int>(rotation_ + 5) % 360);
    offset_ -= 0.5f;
    if (offset_ == -48.0f)
        offset_ = 0;
    wave_.reset();
}

void StatusCell::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QStyleOptionViewItem background = option;
    initStyleOption(&background, index);
    background.text.clear();
    background.icon = QIcon();
    QStyledItemDelegate::paint(painter, background, QModelIndex()); // the row's own background and selection
    const int state = index.data(ControllerDataSource::StatusRole).toInt();
    drawInterior(painter, QRectF(option.rect), state, option.state & QStyle::State_Selected,
                 option.palette.color(QPalette::Highlight));
}

void StatusCell::drawInterior(QPainter* painter, const QRectF& frame, int state, bool selected,
                              const QColor& highlight) const {
    if (state != 1 && state != 2)
        return;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const QPointF centre = frame.center();
    if (state == 1) {
        painter->translate(centre);
        painter->scale(0.8, 0.8);
        painter->rotate(rotation_);
        painter->setPen(QPen(QColor(Qt::lightGray), 2));
        painter->setBrush(Qt::NoBrush);
        painter->drawPath(arc_);
        painter->fillPath(head_, QColor(Qt::lightGray));
        painter->restore();
        return;
    }
    painter->fillRect(frame, recordingColour);
    if (!wave_) {
        QPainterPath wave;
        float s = 6 * std::floor(-offset_ / 6);
        wave.moveTo(s, 0);
        while (s < -offset_ + 12) {
            wave.cubicTo(s + 2, 0, s + 1, 4.6, s + 3, 4.6);
            wave.cubicTo(s + 5, 4.6, s + 4, 0, s + 6, 0);
            s += 6;
        }
        wave_ = wave;
    }
    painter->save();
    painter->translate(centre + QPointF(offset_ - 5, -2.3));
    painter->setPen(QPen(Qt::white, 1.5));
    painter->setBrush(Qt::NoBrush);
    painter->drawPath(*wave_);
    painter->restore();

    const QRectF disc(frame.x() + (frame.width() - 10) / 2, frame.y() + (frame.height() - 10) / 2, 10, 10);
    painter->setPen(QPen(recordingColour, 1));
    painter->drawEllipse(disc);
    // Everything outside the disc is painted over: the row's white, or the selection colour.
    QPainterPath outside;
    outside.setFillRule(Qt::OddEvenFill);
    outside.addRect(frame);
    outside.addEllipse(disc);
    painter->fillPath(outside, selected ? highlight : QColor(Qt::white));
    painter->restore();
}

} // namespace recorder
