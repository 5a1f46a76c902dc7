#pragma once

#include <string_view>

namespace installer::host {

/// Whether a property-list document holds a string or key with an embedded
/// NUL. libplist cuts such a string at the NUL without a word, so a reader
/// would take "a\0b" for "a" where the system sees another name: such a
/// document is refused. Looks only at the binary and XML forms libplist reads.
bool holdsEmbeddedNul(std::string_view document);

}  // namespace installer::host
