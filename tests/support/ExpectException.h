#pragma once

#include "platform/core/Exception.h"

#include <gtest/gtest.h>

#include <string>

namespace testsupport {

// Runs `body` and checks that it raises a platform::Exception with this name and reason.
// An empty `reason` checks the name only; a reason ending in "*" checks its start.
template <typename Body> void expectException(Body&& body, const std::string& name, const std::string& reason) {
    try {
        body();
    } catch (const platform::Exception& e) {
        EXPECT_EQ(e.name(), name);
        if (!reason.empty() && reason.back() == '*') {
            EXPECT_EQ(e.reason().substr(0, reason.size() - 1), reason.substr(0, reason.size() - 1)) << e.reason();
        } else if (!reason.empty()) {
            EXPECT_EQ(e.reason(), reason);
        }
        return;
    }
    ADD_FAILURE() << "expected the exception \"" << name << "\"";
}

} // namespace testsupport
