#pragma once

#include <QWidget>

namespace recorder {

// A transparent layer over a view that draws a 5-point frame in the selection colour along its
// edges; it follows the view's geometry and lets every mouse event through.
class ZNOverlay : public QWidget {
    Q_OBJECT
public:
    explicit ZNOverlay(QWidget* view);
    void show();
    void hide();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QWidget* view_;
};

} // namespace recorder
