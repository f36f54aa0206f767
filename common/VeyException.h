// VeyException: the one failure base of the system (message + numeric code)
// and the failure classes that common services raise.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace vey {

// Every failure the installer raises derives from this; anything else
// (std::bad_alloc, ...) passes the run driver untouched.
class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message, std::int32_t code = 0)
      : std::runtime_error(message), code_(code) {}
  std::int32_t Code() const noexcept { return code_; }
  std::string Message() const { return what(); }

 private:
  std::int32_t code_;
};

#define VEY_DECLARE_FAILURE(Name)              \
  class Name : public ::vey::Exception {       \
   public:                                     \
    using ::vey::Exception::Exception;         \
  }

// A file could not be opened for reading, or a program could not be started.
VEY_DECLARE_FAILURE(EFOpenError);
// A file could not be created or written.
VEY_DECLARE_FAILURE(EFCreateError);
// Text that should hold a number does not.
VEY_DECLARE_FAILURE(EConvertError);
// An instruction file could not be written.
VEY_DECLARE_FAILURE(EIniFileException);
// A path from an instruction file (or a caller) would leave its root folder.
VEY_DECLARE_FAILURE(EPathError);

}  // namespace vey
