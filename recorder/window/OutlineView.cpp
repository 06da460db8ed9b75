#include "recorder/window/OutlineView.h"

#include "recorder/window/ZNOverlay.h"

#include <QDragEnterEvent>
#include <QMimeData>

namespace recorder {

OutlineView::OutlineView(QWidget* parent) : QTreeView(parent), overlay_(new ZNOverlay(viewport())) {
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDropIndicatorShown(false);
    setDragDropMode(QAbstractItemView::DropOnly);
}

void OutlineView::dragEnterEvent(QDragEnterEvent* event) {
    if (hooks_.stopTimers)
        hooks_.stopTimers();
    overlay_->show();
    event->acceptProposedAction();
}

void OutlineView::dragMoveEvent(QDragMoveEvent* event) {
    if (hooks_.stopTimers)
        hooks_.stopTimers();
    event->acceptProposedAction();
}

void OutlineView::dragLeaveEvent(QDragLeaveEvent* event) {
    overlay_->hide();
    if (hooks_.startTimers)
        hooks_.startTimers();
    event->accept();
}

void OutlineView::dropEvent(QDropEvent* event) {
    // Plain text only: a dragged link carries its URL as text too.
    performDrop(event->mimeData()->hasText() ? event->mimeData()->text() : QString());
    event->acceptProposedAction();
}

void OutlineView::performDrop(const QString& text) {
    if (text.startsWith("http")) {
        if (text.endsWith("pls")) {
            if (hooks_.addStationWithPlaylistURL)
                hooks_.addStationWithPlaylistURL(text);
        } else if (hooks_.addStationWithServerURL) {
            hooks_.addStationWithServerURL(text);
        }
    }
    overlay_->hide();
    if (hooks_.startTimers)
        hooks_.startTimers();
}

} // namespace recorder
