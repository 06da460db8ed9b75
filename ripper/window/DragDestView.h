#pragma once

#include <QWidget>

#include <functional>

namespace ripper {

// The window's drop target: dropping a CD folder or track files chooses them exactly as the
// open dialog does.
class DragDestView : public QWidget {
    Q_OBJECT
public:
    explicit DragDestView(std::function<void(const QStringList&)> chosen, QWidget* parent = nullptr);

    // What a drop of these paths does.
    void performDrop(const QStringList& paths);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    std::function<void(const QStringList&)> chosen_;
};

} // namespace ripper
