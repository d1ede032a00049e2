#include "host/uniqueFd.h"

#include <unistd.h>

#include <cerrno>

namespace OpenShiftSDKWrapper {

int UniqueFd::Close() {
  if (fd_ < 0) return 0;
  const int fd = Release();
  if (::close(fd) == 0 || errno == EINTR) return 0;
  return errno;
}

}  // namespace OpenShiftSDKWrapper
