#include "app/port_watch.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <thread>
#include <utility>

#include "app/change_waiter.h"
#include "app/exit_status.h"
#include "support/fake_root.h"

namespace ttyenum {
namespace {

PortEvent ftdiEvent(PortEventKind kind, const std::string& portName) {
  PortEvent event;
  event.kind = kind;
  event.listed.port = testing::ftdiPort(portName, true);
  return event;
}

TEST(WatchEventLine, EventWordTabAndThePortInEachForm) {
  ListingSettings plain;
  ListingSettings shortList;
  shortList.listForm = ListForm::kShort;
  shortList.countingOff = true;
  ListingSettings formatted;
  formatted.format = "%c %u%t%s";
  ListingSettings trailingPercent;
  trailingPercent.format = "%c%";
  const struct {
    const char* name;
    PortEvent event;
    const ListingSettings& settings;
    const char* line;
  } rows[] = {
      {"name", ftdiEvent(PortEventKind::kAdd, "/dev/ttyUSB0"), plain, "add\t/dev/ttyUSB0\n"},
      {"remove", ftdiEvent(PortEventKind::kRemove, "/dev/ttyUSB0"), plain,
       "remove\t/dev/ttyUSB0\n"},
      {"list and counting change nothing", ftdiEvent(PortEventKind::kAdd, "/dev/ttyUSB0"),
       shortList, "add\t/dev/ttyUSB0\n"},
      {"format without its line feed", ftdiEvent(PortEventKind::kAdd, "/dev/ttyUSB0"), formatted,
       "add\t/dev/ttyUSB0 0403:6001\tused\n"},
      {"format ending in a lone %", ftdiEvent(PortEventKind::kRemove, "/dev/ttyUSB1"),
       trailingPercent, "remove\t/dev/ttyUSB1\n"},
      {"control bytes in the name", ftdiEvent(PortEventKind::kAdd, "/dev/tty\nUSB0"), plain,
       "add\t/dev/tty\\x0aUSB0\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(watchEventLine(row.event, row.settings), row.line);
  }
}

// Scans that list the ports named, FTDI ports all.
std::vector<WatchScan> scans(const std::vector<std::vector<std::string>>& names) {
  std::vector<WatchScan> result(names.size());
  for (size_t i = 0; i < names.size(); ++i) {
    result[i].nodes = names[i];
    for (const std::string& name : names[i])
      result[i].listed.push_back(ListedPort{testing::ftdiPort(name), {}});
  }
  return result;
}

// The watch run to its end with itself as the change source: each report() is a change, a
// report('f') a failure. Its output goes to a pipe that is read once it has ended.
struct Watch : ChangeSource {
  Watch() { EXPECT_EQ(::pipe2(changes, O_CLOEXEC | O_NONBLOCK) | ::pipe2(out, O_CLOEXEC), 0); }
  ~Watch() override {
    for (const int fd : {changes[0], changes[1], out[0], out[1]})
      ::close(fd);
  }
  void report(char kind = 'c') { EXPECT_EQ(::write(changes[1], &kind, 1), 1); }
  std::vector<struct pollfd> pollSet() const override {
    std::vector<struct pollfd> set = {{changes[0], POLLIN, 0}};
    if (closedFd >= 0)
      set.push_back(pollfd{closedFd, POLLIN, 0});
    return set;
  }
  DeviceChange collect(const std::vector<struct pollfd>&, std::string& reason) override {
    DeviceChange change = DeviceChange::kNone;
    for (char kind = 0; ::read(changes[0], &kind, 1) == 1; change = DeviceChange::kChanged) {
      if (kind == 'f') {
        reason = "Input/output error";
        return DeviceChange::kFailed;
      }
    }
    return change;
  }
  void watchNodes(const std::vector<std::string>& nodePaths) override { watched = nodePaths; }

  // Runs `work` on a thread that blocks every signal, so that the watch's thread takes them.
  void meanwhile(std::function<void()> work) {
    other = std::thread([work] {
      sigset_t all;
      sigfillset(&all);
      ::pthread_sigmask(SIG_BLOCK, &all, nullptr);
      work();
    });
  }
  // Each scan gives the next of `scans` (the last again at the end; none if there are none).
  // The first runs `first` (if any, else it reports a change); every later one reports a change,
  // until the one after `scans` sends the SIGTERM that ends the watch (blocked until it waits).
  void run(std::function<void(Watch&)> first, const std::vector<WatchScan>& scans,
           std::function<bool(const ListedPort&)> udevFinished, bool holders) {
    const auto scan = [&] {
      if (scanCount == 0 && first)
        first(*this);
      else if (scanCount < scans.size())
        report();
      else if (!scans.empty())
        ::kill(::getpid(), SIGTERM);
      ++scanCount;
      return scans.empty() ? WatchScan() : scans[std::min(scanCount, scans.size()) - 1];
    };
    WatchWiring wiring{*this, scan, std::move(udevFinished), holders};
    std::ostringstream errors;
    status = watchPorts(ListingSettings(), wiring, out[1], errors);
    err = errors.str();
    if (other.joinable())
      other.join();
    ::close(out[1]);
    out[1] = -1;
    char buffer[4096];
    for (ssize_t got; (got = ::read(out[0], buffer, sizeof buffer)) > 0;)
      output.append(buffer, static_cast<size_t>(got));
    EXPECT_EQ(watched, holders ? scans.back().nodes : std::vector<std::string>());
  }

  int changes[2] = {-1, -1};
  int out[2] = {-1, -1};
  int closedFd = -1;  // a descriptor number to wait on that is not open
  std::vector<std::string> watched;
  std::thread other;
  size_t scanCount = 0;
  int status = -1;
  std::string output;
  std::string err;
};

TEST(WatchPorts, LinesAndEnds) {
  const std::vector<std::string> both = {"/dev/ttyS0", "/dev/ttyUSB1"};
  const auto onlyS0 = [&](const ListedPort& p) { return p.port.portName == both[0]; };
  const auto secondTime = [&, asks = 0](const ListedPort& p) mutable {
    return p.port.portName == both[0] || ++asks > 1;
  };
  const auto stuck = [](Watch& watch) {  // a reader that never reads, then a stop
    ASSERT_EQ(::fcntl(watch.out[1], F_SETPIPE_SZ, 4096), 4096);
    ASSERT_EQ(::write(watch.out[1], std::string(4096, 'x').data(), 4096), 4096);
    ::kill(::getpid(), SIGTERM);  // blocked until the watch waits to write
  };
  const auto closeReader = [](Watch& w) { ::close(std::exchange(w.out[0], -1)); };
  const struct {
    const char* name;
    std::function<void(Watch&)> first;
    std::vector<WatchScan> scans;
    std::function<bool(const ListedPort&)> udevFinished;
    int status;
    std::string out;
    const char* err;
  } rows[] = {
      {"udev not done: held until it is", nullptr, scans({both, both}), secondTime, kExitSuccess,
       "add\t/dev/ttyS0\nadd\t/dev/ttyUSB1\n", ""},
      {"a held port gone before udev is done: no line", nullptr, scans({both, {"/dev/ttyS0"}}),
       onlyS0, kExitSuccess, "add\t/dev/ttyS0\n", ""},
      {"the source fails", [](Watch& w) { w.report('f'); }, scans({{}}), nullptr, kExitWriteError,
       "", "ttyenum: cannot watch /dev: Input/output error\n"},
      {"a descriptor that is not open", [](Watch& w) { w.closedFd = 999; }, scans({{}}), nullptr,
       kExitWriteError, "", "ttyenum: cannot watch /dev: Bad file descriptor\n"},
      {"the reader goes on a quiet machine", closeReader, scans({{}}), nullptr, kExitWriteError, "",
       "ttyenum: write error: Broken pipe\n"},
      {"a stop while the reader never reads", stuck, scans({{"/dev/ttyS0"}}), nullptr, kExitSuccess,
       std::string(4096, 'x'), ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Watch watch;
    watch.run(row.first, row.scans, row.udevFinished, true);
    EXPECT_EQ(watch.status, row.status);
    EXPECT_EQ(watch.output, row.out);
    EXPECT_EQ(watch.err, row.err);
  }
}

// udev never finishes: the port comes 2 s after the scan that first saw it, with no change
// between. No holders in the listing: no node is watched.
TEST(WatchPorts, APortThatUdevNeverFinishesComesAfterTwoSeconds) {
  Watch watch;
  const auto start = std::chrono::steady_clock::now();
  watch.run([](Watch&) {}, scans({{"/dev/ttyUSB1"}, {"/dev/ttyUSB1"}}),
            [](const ListedPort&) { return false; }, false);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2000));
  EXPECT_EQ(watch.output, "add\t/dev/ttyUSB1\n");
}

// Changes 5 ms apart give one scan after the last; a stream that never pauses (750 ms or more)
// still gives a scan every 500 ms.
TEST(WatchPorts, ChangesSettleBeforeAScan) {
  for (const int changes : {8, 150}) {
    SCOPED_TRACE(changes);
    Watch watch;
    watch.meanwhile([&watch, changes] {
      for (int i = 0; i < changes; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(5)))
        watch.report();
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      ::kill(::getpid(), SIGTERM);
    });
    watch.run(nullptr, scans({}), nullptr, false);
    EXPECT_TRUE(changes == 8 ? watch.scanCount == 2 : watch.scanCount >= 3) << watch.scanCount;
  }
}

}  // namespace
}  // namespace ttyenum
