#include "platform/YmThread.h"

#include <sys/syscall.h>
#include <unistd.h>

unsigned long YmThread::getCurrentThreadID() {
  // Asked of the kernel on every call rather than cached, so the id stays
  // right in a child process after fork().
  return static_cast<unsigned long>(syscall(SYS_gettid));
}
