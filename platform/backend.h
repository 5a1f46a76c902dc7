#pragma once

#include "platform/services.h"

namespace installer {

/// The services of the platform the program was built for, created on first
/// use and alive until the process ends.
Services backendServices();

}  // namespace installer
