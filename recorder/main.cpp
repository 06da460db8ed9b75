#include "platform/ui/Desktop.h"
#include "platform/core/Version.h"
#include "platform/ui/UserDefaults.h"
#include "recorder/window/Controller.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName("Aircask");
    QApplication::setOrganizationName("Aircask");
    QApplication::setApplicationVersion(platform::aircaskVersion);
    QApplication::setDesktopFileName("aircask");
    platform::UserDefaults defaults;
    platform::Desktop desktop;
    recorder::Controller controller(defaults, desktop);
    controller.awakeFromNib();
    return QApplication::exec();
}
