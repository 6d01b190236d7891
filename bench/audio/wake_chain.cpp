// wake_chain: a control for bench/audio/cpu. Three SCHED_FIFO processes pass one graph cycle
// along through eventfds, like a driver, a player and a capture client: the driver is woken by
// a timer every 42.7 ms (2048 frames at 48 kHz) and wakes the player, the player wakes the
// "tap", the tap wakes the driver; each does a few microseconds of work. No PipeWire, no
// lorvane-tap: when its CPU per wake-up jumps, the machine is charging every wake-up more, and
// what was measured in the same period says nothing about the programs. Prints the three pids
// on one line and runs until killed (the children go with the driver).
#include <sched.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/prctl.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>

namespace {

void realTime(int priority) {
  sched_param param{};
  param.sched_priority = priority;
  sched_setscheduler(0, SCHED_FIFO, &param);  // without the right it runs as it is
}

bool pass(int from, int to) {
  uint64_t value = 0;
  if (read(from, &value, sizeof value) != sizeof value) return false;
  volatile float sum = 0;
  for (int i = 0; i < 2048; ++i) sum = sum + float(i);  // about one cycle's mixing
  value = 1;
  return write(to, &value, sizeof value) == sizeof value;
}

pid_t relay(int from, int to) {
  const pid_t pid = fork();
  if (pid != 0) return pid;
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  realTime(83);
  while (pass(from, to)) {
  }
  _exit(1);
}

}  // namespace

int main() {
  const int toPlayer = eventfd(0, 0), toTap = eventfd(0, 0), toDriver = eventfd(0, 0);
  const int timer = timerfd_create(CLOCK_MONOTONIC, 0);
  if (toPlayer < 0 || toTap < 0 || toDriver < 0 || timer < 0) return 1;
  const pid_t player = relay(toPlayer, toTap);
  const pid_t tap = relay(toTap, toDriver);
  std::printf("%d %d %d\n", int(getpid()), int(player), int(tap));
  std::fflush(stdout);
  realTime(88);
  const itimerspec period{{0, 42666667}, {0, 42666667}};
  timerfd_settime(timer, 0, &period, nullptr);
  uint64_t value = 0;
  while (read(timer, &value, sizeof value) == sizeof value) {
    value = 1;
    if (write(toPlayer, &value, sizeof value) != sizeof value) return 1;
    if (read(toDriver, &value, sizeof value) != sizeof value) return 1;
  }
  return 1;
}
