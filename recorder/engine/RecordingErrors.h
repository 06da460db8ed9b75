#pragma once

#include "platform/core/Exception.h"

#include <string>
#include <system_error>

namespace recorder {

// The station's connection was lost or could not be made: a recording that has already
// received audio survives it by reconnecting. The reason is the text a person reads.
struct ConnectionLost : platform::Exception {
    explicit ConnectionLost(std::string reason) : Exception("Connection lost", std::move(reason)) {}
};

// A song file could not be made or written: the recording ends in the error state.
struct FileFailure : platform::Exception {
    explicit FileFailure(std::string reason) : Exception("File", std::move(reason)) {}
};

// The text for a failure of the socket layer while connecting to or reading from a station,
// with the system's own reason in it.
std::string connectionFailureText(const platform::Exception& socketError);

// The text for a song file that could not be made or written in `folder`.
std::string fileFailureText(const std::error_code& error, const std::string& folder);

// Texts of their own.
inline const char* stationClosedText = "Station closed the connection";
std::string stalledText(double seconds);

} // namespace recorder
