#include "helpers/utf8_name.h"

#include <unicode/ustring.h>
#include <unicode/utypes.h>

#include <climits>

namespace helpers {

bool isWellFormedUtf8(const std::string& text) {
  if (text.size() > INT32_MAX) return false;
  UErrorCode status = U_ZERO_ERROR;
  int32_t length = 0;
  // Preflighting converts nothing but still reports ill-formed input.
  u_strFromUTF8(nullptr, 0, &length, text.data(), static_cast<int32_t>(text.size()), &status);
  return status == U_BUFFER_OVERFLOW_ERROR || status == U_STRING_NOT_TERMINATED_WARNING ||
         U_SUCCESS(status);
}

}  // namespace helpers
