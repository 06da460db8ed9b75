#include "platform/ui/Desktop.h"
#include "ripper/window/AppController.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName("Discwell");
    QApplication::setOrganizationName("Discwell");
    QApplication::setApplicationVersion("0.5.3");
    QApplication::setDesktopFileName("discwell");
    platform::Desktop desktop;
    ripper::AppController controller(desktop);
    controller.awakeFromNib();
    return QApplication::exec();
}
