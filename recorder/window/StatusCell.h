#pragma once

#include <QPainterPath>
#include <QStyledItemDelegate>
#include <QTimer>

#include <optional>

namespace recorder {

// Draws the status column: nothing (state 0), a grey arrow that spins (1: connecting, or the file
// being written), or an orange disc crossed by a scrolling white wave (2: recording). One shared
// cell animates every row in step: its tick timer turns the arrow 5 degrees and moves the wave
// half a point every 0.1 s; the controller's own timer repaints the column.
class StatusCell : public QStyledItemDelegate {
    Q_OBJECT
public:
    static StatusCell* instance();

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    // Draws one state into `frame` (in the painter's coordinates); `selected` paints the area
    // around the disc in `highlight` instead of white.
    void drawInterior(QPainter* painter, const QRectF& frame, int state, bool selected, const QColor& highlight) const;

    void tick();
    float rotation() const { return rotation_; }
    float offset() const { return offset_; }

private:
    StatusCell();

    float rotation_ = 0;
    float offset_ = 0;
    QPainterPath arc_;
    QPainterPath head_;
    mutable std::optional<QPainterPath> wave_; // built at most once per tick
    QTimer timer_;
};

} // namespace recorder
