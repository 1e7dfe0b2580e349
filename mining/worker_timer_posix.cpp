#include <pthread.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdint>

#include "mining/worker_timer.h"

namespace {

// The kernel's struct sched_attr (its header clashes with <sched.h>).
struct SchedAttr {
  uint32_t size;
  uint32_t policy;
  uint64_t flags;
  int32_t nice;
  uint32_t priority;
  uint64_t runtime;  // for the normal policy: the slice the thread asks for
  uint64_t deadline;
  uint64_t period;
};

constexpr unsigned long kTimerSlackNs = 1000;
constexpr uint64_t kSliceNs = 100000;  // the shortest the kernel grants

}  // namespace

void PrepareWorkerThread() {
  pthread_setname_np(pthread_self(), "miner-worker");
  // The kernel may end a timed wait up to the thread's timer slack late (50 us by
  // default) to batch wake-ups: on a 1 ms wait, 5 % fewer passes, and more seconds
  // whose passes step over millisecond 100 and so lose their experience.
  prctl(PR_SET_TIMERSLACK, kTimerSlackNs, 0UL, 0UL, 0UL);
  // A pass needs some tens of microseconds a millisecond. Asking for a short slice lets
  // the worker's wake-up preempt a thread in the middle of a longer burst (the window
  // repainting) instead of waiting behind it, so the pass runs on time. Kernels without
  // slices for the normal policy ignore the request; a failure changes nothing.
  SchedAttr attr{};
  if (syscall(SYS_sched_getattr, 0, &attr, sizeof attr, 0) != 0 || attr.policy != SCHED_OTHER) return;
  attr.size = sizeof attr;
  attr.runtime = kSliceNs;
  syscall(SYS_sched_setattr, 0, &attr, 0);
}

void ReleaseWorkerThread() {}
