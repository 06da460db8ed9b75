#include "recorder/engine/RecordingErrors.h"

#include <cerrno>
#include <cmath>
#include <cstring>

namespace recorder {
namespace {

bool startsWith(const std::string& text, const std::string& start) { return text.rfind(start, 0) == 0; }

// The socket layer's reasons read "<name>: <system text>".
std::string systemText(const platform::Exception& e) {
    const std::string prefix = e.name() + ": ";
    return startsWith(e.reason(), prefix) ? e.reason().substr(prefix.size()) : e.reason();
}

} // namespace

std::string connectionFailureText(const platform::Exception& e) {
    const std::string reason = systemText(e);
    if (e.name() == "Socket: Host not found")
        return "The station's server could not be found (" + reason +
               "). Check the address and the network connection.";
    if (e.name() == "Socket: Connect timed out")
        return "The station did not answer in time (" + reason + "). Check the network connection.";
    if (e.name() == "Socket: Connect failed" && reason == std::strerror(ECONNREFUSED))
        return "The station refused the connection (" + reason + "). It may be off the air; try again later.";
    if (e.name() == "Socket: Connect failed")
        return "The station could not be reached (" + reason + "). Check the network connection.";
    if (e.name() == "Socket: Recv failed")
        return "The connection to the station broke (" + reason + ").";
    if (e.name() == "Socket: Bad socket descriptor" || e.name() == "Socket: Not connected")
        return stationClosedText;
    return e.reason();
}

std::string fileFailureText(const std::error_code& error, const std::string& folder) {
    const std::string reason = error.message();
    switch (error.value()) {
    case ENOSPC:
    case EDQUOT:
        return "The disk is full (" + reason + "). Free some space or choose another download folder.";
    case EFBIG:
        return "The song file could not grow any larger (" + reason + ") in " + folder + ".";
    case EACCES:
    case EPERM:
    case EROFS:
        return "Aircask cannot write to the folder " + folder + " (" + reason + "). Choose another download folder.";
    case ENOENT:
    case ENOTDIR:
        return "The download folder " + folder + " cannot be used (" + reason + "). Choose another download folder.";
    default:
        return "A song file could not be written in " + folder + " (" + reason + ").";
    }
}

std::string stalledText(double seconds) {
    return "The station sent nothing for " + std::to_string(static_cast<long>(std::lround(seconds))) + " s.";
}

} // namespace recorder
