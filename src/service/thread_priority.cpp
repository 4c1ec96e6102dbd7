#include "service/thread_priority.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace lumora::service {

namespace {

constexpr int kServiceNice = 10;

}  // namespace

// On Linux a nice value belongs to the thread named by its id.
void YieldToTheShow() {
  const auto thread = static_cast<id_t>(::syscall(SYS_gettid));
  ::setpriority(PRIO_PROCESS, thread, kServiceNice);
}

}  // namespace lumora::service
