#include "platform/core/Exception.h"

#include <utility>

namespace platform {

Exception::Exception(std::string name, std::string reason) : name_(std::move(name)), reason_(std::move(reason)) {}

Exception::Exception(std::string name) : name_(std::move(name)), reason_(name_) {}

} // namespace platform
