#include "entry/installer_error.h"

namespace installer {

std::string userFacingDescription(const std::exception& error) {
  if (auto* own = dynamic_cast<const InstallerError*>(&error)) {
    return own->errorDescription().value_or("");
  }
  return error.what();
}

std::string userFacingDescription(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& caught) {
    return userFacingDescription(caught);
  } catch (...) {
    return "";
  }
}

}  // namespace installer
