#include "recorder/window/AboutBoxController.h"

#include "platform/core/Version.h"

#include "platform/ui/Desktop.h"

namespace recorder {

void AboutBoxController::brindle() { desktop_.openURL(homePage); }
void AboutBoxController::support() { desktop_.openURL(supportPage); }
QString AboutBoxController::mail() {
    return QString("mailto:support@aircask.example.org?subject=Aircask(%1)").arg(platform::aircaskVersion);
}

void AboutBoxController::email() { desktop_.openURL(mail()); }

} // namespace recorder
