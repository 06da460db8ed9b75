#include "recorder/window/AboutBoxController.h"

#include "platform/ui/Desktop.h"

namespace recorder {

void AboutBoxController::brindle() { desktop_.openURL(homePage); }
void AboutBoxController::support() { desktop_.openURL(supportPage); }
void AboutBoxController::email() { desktop_.openURL(mail); }

} // namespace recorder
