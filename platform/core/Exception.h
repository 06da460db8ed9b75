#pragma once

#include <exception>
#include <string>

namespace platform {

// A failure with a fixed name and a reason text; what() is the reason.
class Exception : public std::exception {
public:
    Exception(std::string name, std::string reason);
    // A failure whose reason is its name.
    explicit Exception(std::string name);

    const std::string& name() const noexcept { return name_; }
    const std::string& reason() const noexcept { return reason_; }
    const char* what() const noexcept override { return reason_.c_str(); }

private:
    std::string name_;
    std::string reason_;
};

} // namespace platform
