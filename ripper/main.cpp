#include "platform/ui/Desktop.h"
#include "platform/core/Version.h"
#include "ripper/window/AppController.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName("Discwell");
    QApplication::setOrganizationName("Discwell");
    QApplication::setApplicationVersion(platform::discwellVersion);
    QApplication::setDesktopFileName("discwell");
    platform::Desktop desktop;
    ripper::AppController controller(desktop);
    controller.awakeFromNib();
    return QApplication::exec();
}
