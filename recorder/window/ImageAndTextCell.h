#pragma once

#include <QStyledItemDelegate>

class QTreeView;

namespace recorder {

// Draws a small image 3 points from the left edge, then the text on one line beside it. In the
// name column a station's text is bold while its row is expanded.
class ImageAndTextCell : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit ImageAndTextCell(QTreeView* view, bool boldWhenExpanded);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    // Where the image goes in a cell frame: none without an image.
    QRect imageFrameForCellFrame(const QRect& frame, const QModelIndex& index) const;

private:
    QTreeView* view_;
    bool boldWhenExpanded_;
};

} // namespace recorder
