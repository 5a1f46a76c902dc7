#pragma once

#include <exception>
#include <optional>
#include <string>

namespace installer {

/// The one error the installer itself raises; its description is the whole
/// user-facing message.
class InstallerError : public std::exception {
 public:
  explicit InstallerError(std::string description) : errorDescription_(std::move(description)) {}

  const std::optional<std::string>& errorDescription() const { return errorDescription_; }
  const char* what() const noexcept override {
    return errorDescription_ ? errorDescription_->c_str() : "";
  }

 private:
  std::optional<std::string> errorDescription_;
};

/// What the user reads of an error: the message of an InstallerError, the
/// platform's own description of any other.
std::string userFacingDescription(const std::exception& error);
/// The same for a captured error.
std::string userFacingDescription(const std::exception_ptr& error);

}  // namespace installer
