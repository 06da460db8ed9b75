#pragma once

#include <QTreeView>

#include <functional>

namespace recorder {

class ZNOverlay;

// The station outline. It takes drops of URL text: a text that begins with "http" adds a
// station, by playlist URL when it ends in "pls", else by server URL. While a drag hovers, the
// outline is framed and the controller's refresh timers are stopped.
class OutlineView : public QTreeView {
    Q_OBJECT
public:
    struct Hooks {
        std::function<void()> stopTimers;
        std::function<void()> startTimers;
        std::function<void(const QString&)> addStationWithPlaylistURL;
        std::function<void(const QString&)> addStationWithServerURL;
    };

    explicit OutlineView(QWidget* parent = nullptr);
    void setHooks(Hooks hooks) { hooks_ = std::move(hooks); }
    ZNOverlay* overlay() const { return overlay_; }

    // What a drop of this text does, as the drop itself would do it.
    void performDrop(const QString& text);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    Hooks hooks_;
    ZNOverlay* overlay_;
};

} // namespace recorder
