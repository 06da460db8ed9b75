#pragma once

#include <QCloseEvent>
#include <QMainWindow>

#include <functional>

namespace platform {

// A main window that asks its controller before it closes: the controller stores what must
// survive and may refuse.
class MainWindow : public QMainWindow {
public:
    explicit MainWindow(std::function<bool()> shouldClose) : shouldClose_(std::move(shouldClose)) {}

protected:
    void closeEvent(QCloseEvent* event) override {
        if (shouldClose_())
            event->accept();
        else
            event->ignore();
    }

private:
    std::function<bool()> shouldClose_;
};

} // namespace platform
