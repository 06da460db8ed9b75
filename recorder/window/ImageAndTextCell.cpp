#include "recorder/window/ImageAndTextCell.h"

#include <QApplication>
#include <QIcon>
#include <QPainter>
#include <QTreeView>

#include <cmath>

namespace recorder {
namespace {

constexpr int imageSize = 16;
constexpr int gap = 3;

} // namespace

ImageAndTextCell::ImageAndTextCell(QTreeView* view, bool boldWhenExpanded)
    : QStyledItemDelegate(view), view_(view), boldWhenExpanded_(boldWhenExpanded) {}

QRect ImageAndTextCell::imageFrameForCellFrame(const QRect& frame, const QModelIndex& index) const {
    if (index.data(Qt::DecorationRole).value<QIcon>().isNull())
        return {};
    return QRect(frame.x() + gap, frame.y() + static_cast<int>(std::ceil((frame.height() - imageSize) / 2.0)),
                 imageSize, imageSize);
}

void ImageAndTextCell::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QIcon icon = opt.icon;
    const QString text = opt.text;
    opt.icon = QIcon();
    opt.text.clear();
    opt.features &= ~QStyleOptionViewItem::HasDecoration;
    QStyle* style = opt.widget ? opt.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget); // background and selection

    QRect textRect = option.rect;
    if (!icon.isNull()) {
        const QRect imageRect = imageFrameForCellFrame(option.rect, index);
        icon.paint(painter, imageRect);
        textRect.setLeft(option.rect.left() + gap + imageSize + gap);
    } else {
        textRect.setLeft(option.rect.left() + gap);
    }
    QFont font = opt.font;
    if (boldWhenExpanded_ && !index.parent().isValid() && view_->isExpanded(index.siblingAtColumn(0)))
        font.setBold(true);
    painter->save();
    painter->setFont(font);
    QColor colour = opt.palette.color(opt.state & QStyle::State_Selected ? QPalette::HighlightedText : QPalette::Text);
    if (const QVariant foreground = index.data(Qt::ForegroundRole);
        foreground.isValid() && !(opt.state & QStyle::State_Selected))
        colour = foreground.value<QColor>();
    painter->setPen(colour);
    const QString shown = QFontMetrics(font).elidedText(text, Qt::ElideRight, textRect.width());
    painter->drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine, shown);
    painter->restore();
}

QSize ImageAndTextCell::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setHeight(std::max(size.height(), imageSize + 4));
    return size;
}

} // namespace recorder
