#include "ripper/window/DragDestView.h"

#include "platform/core/Log.h"

#include <QDragEnterEvent>
#include <QMimeData>
#include <QUrl>

namespace ripper {

DragDestView::DragDestView(std::function<void(const QStringList&)> chosen, QWidget* parent)
    : QWidget(parent), chosen_(std::move(chosen)) {
    setAcceptDrops(true);
}

void DragDestView::dragEnterEvent(QDragEnterEvent* event) {
    if (!event->mimeData()->hasUrls()) {
        event->ignore();
        return;
    }
    if (event->possibleActions() & Qt::LinkAction)
        event->setDropAction(Qt::LinkAction);
    else if (event->possibleActions() & Qt::CopyAction)
        event->setDropAction(Qt::CopyAction);
    else {
        event->ignore();
        return;
    }
    event->accept();
}

void DragDestView::dropEvent(QDropEvent* event) {
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile())
            paths << url.toLocalFile();
    performDrop(paths);
    event->accept();
}

void DragDestView::performDrop(const QStringList& paths) {
    if (paths.isEmpty())
        return;
    platform::log("shizzat: (" + paths.join(", ").toStdString() + ")");
    chosen_(paths);
}

} // namespace ripper
