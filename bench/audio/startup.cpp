// Time from exec to "STARTED" and to "READY", in a running PipeWire session.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "tests/support/child_process.h"

using namespace std::chrono;
using lorvane::testing::ChildProcess;

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::atoi(argv[1]) : 15;
  std::vector<double> started, ready;
  for (int i = 0; i < runs; ++i) {
    const auto t0 = steady_clock::now();
    ChildProcess tap(lorvane::testing::tapPath(), {"lorvane-tap"});
    if (!tap.waitForErr("STARTED", seconds(5))) return 1;
    started.push_back(duration<double, std::milli>(steady_clock::now() - t0).count());
    if (!tap.waitForErr("READY", seconds(5))) return 1;
    ready.push_back(duration<double, std::milli>(steady_clock::now() - t0).count());
    tap.closeStdin();
    tap.wait();
  }
  auto median = [](std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  };
  auto maxOf = [](const std::vector<double>& v) { return *std::max_element(v.begin(), v.end()); };
  std::printf("exec -> STARTED: median %.1f ms, max %.1f ms (target <= 50)\n", median(started),
              maxOf(started));
  std::printf("exec -> READY:   median %.1f ms, max %.1f ms (target <= 150)\n", median(ready),
              maxOf(ready));
}
