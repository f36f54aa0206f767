// UniqueFd: closing on the way out.
#include "platform/UniqueFd.h"

#include <unistd.h>

namespace vey::platform {

UniqueFd::~UniqueFd() {
  if (fd_ >= 0) ::close(fd_);
}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.Release();
  }
  return *this;
}

}  // namespace vey::platform
