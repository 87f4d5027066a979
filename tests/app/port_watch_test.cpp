#include "app/port_watch.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <thread>

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

// A change source on a pipe: each byte written is one report ('c' a change, 'f' a failure).
class FakeSource : public ChangeSource {
 public:
  FakeSource() { EXPECT_EQ(::pipe2(fds_, O_CLOEXEC | O_NONBLOCK), 0); }
  ~FakeSource() override {
    ::close(fds_[0]);
    ::close(fds_[1]);
  }
  FakeSource(const FakeSource&) = delete;
  FakeSource& operator=(const FakeSource&) = delete;

  void report(char kind = 'c') { EXPECT_EQ(::write(fds_[1], &kind, 1), 1); }

  std::vector<struct pollfd> pollSet() const override {
    std::vector<struct pollfd> set = {{fds_[0], POLLIN, 0}};
    if (closedFd >= 0)
      set.push_back(pollfd{closedFd, POLLIN, 0});
    return set;
  }
  DeviceChange collect(const std::vector<struct pollfd>&, std::string& reason) override {
    DeviceChange change = DeviceChange::kNone;
    char kind = 0;
    while (::read(fds_[0], &kind, 1) == 1) {
      if (kind == 'f') {
        reason = "Input/output error";
        return DeviceChange::kFailed;
      }
      change = DeviceChange::kChanged;
    }
    return change;
  }
  void watchNodes(const std::vector<std::string>& nodePaths) override { watched = nodePaths; }

  std::vector<std::string> watched;
  int closedFd = -1;  // a descriptor number to wait on that is not open

 private:
  int fds_[2] = {-1, -1};
};

// A USB port with its device's identity: serial number, device address and device number.
ListedPort usbPort(const std::string& name, const std::string& serial, unsigned address) {
  ListedPort listed;
  listed.port = testing::ftdiPort(name);
  listed.port.serialNumber = serial;
  listed.facts.device = DeviceNumber{188, 0};
  listed.facts.usbBusNumber = 1;
  listed.facts.usbDeviceAddress = address;
  return listed;
}

ListedPort uartPort(const std::string& name) {
  ListedPort listed;
  listed.port.portName = name;
  listed.facts.kind = PortKind::kPlugAndPlay;
  listed.facts.device = DeviceNumber{4, 64};
  return listed;
}

// Sends `signal` to this process after `delay`, from a thread that blocks every signal, so that
// the watch's thread takes it.
std::thread signalLater(int signal, std::chrono::milliseconds delay) {
  return std::thread([=] {
    sigset_t all;
    sigfillset(&all);
    ::pthread_sigmask(SIG_BLOCK, &all, nullptr);
    std::this_thread::sleep_for(delay);
    ::kill(::getpid(), signal);
  });
}

struct WatchRun {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs the watch over `scans` in turn, each one asked for after a change that the one before
// reports; then a scan like the last sends the SIGTERM that ends it.
WatchRun runWatch(const ListingSettings& settings, const std::vector<WatchScan>& scans,
                  std::function<bool(const ListedPort&)> udevFinished = nullptr) {
  FakeSource source;
  size_t next = 0;
  WatchWiring wiring{source,
                     [&] {
                       const WatchScan& scan = scans[std::min(next, scans.size() - 1)];
                       if (next++ < scans.size())
                         source.report();
                       else
                         ::kill(::getpid(), SIGTERM);  // blocked until the watch waits
                       return scan;
                     },
                     std::move(udevFinished), true};
  int out[2];
  EXPECT_EQ(::pipe2(out, O_CLOEXEC), 0);
  std::ostringstream errors;
  WatchRun run;
  run.status = watchPorts(settings, wiring, out[1], errors);
  ::close(out[1]);
  char buffer[4096];
  for (ssize_t got; (got = ::read(out[0], buffer, sizeof buffer)) > 0;)
    run.out.append(buffer, static_cast<size_t>(got));
  ::close(out[0]);
  run.err = errors.str();
  EXPECT_EQ(source.watched, scans.back().nodes);
  return run;
}

WatchScan scanOf(std::vector<ListedPort> listed) {
  WatchScan scan;
  for (const ListedPort& port : listed)
    scan.nodes.push_back(port.port.portName);
  scan.listed = std::move(listed);
  return scan;
}

TEST(WatchPorts, LinesFromScanToScan) {
  ListingSettings settings;
  settings.format = "%c %n %p";
  ListedPort renamed = usbPort("/dev/ttyUSB0", "A5", 5);
  renamed.port.product = "other text";
  renamed.port.inUse = true;
  int udevAsks = 0;
  const auto finishedFromSecondScan = [&](const ListedPort& port) {
    return port.port.portName != "/dev/ttyUSB1" || ++udevAsks > 1;
  };
  const struct {
    const char* name;
    std::vector<WatchScan> scans;
    std::function<bool(const ListedPort&)> udevFinished;
    const char* out;
  } rows[] = {
      {"adapter swapped under the same name and number",
       {scanOf({usbPort("/dev/ttyUSB0", "A5", 5)}), scanOf({usbPort("/dev/ttyUSB0", "B7", 6)})},
       nullptr,
       "add\t/dev/ttyUSB0 A5 FT232R USB UART\nremove\t/dev/ttyUSB0 A5 FT232R USB UART\n"
       "add\t/dev/ttyUSB0 B7 FT232R USB UART\n"},
      {"other fields change: no line",
       {scanOf({usbPort("/dev/ttyUSB0", "A5", 5)}), scanOf({renamed})},
       nullptr,
       "add\t/dev/ttyUSB0 A5 FT232R USB UART\n"},
      {"udev not done: held until it is",
       {scanOf({uartPort("/dev/ttyS0"), usbPort("/dev/ttyUSB1", "A5", 5)}),
        scanOf({uartPort("/dev/ttyS0"), usbPort("/dev/ttyUSB1", "A5", 5)})},
       finishedFromSecondScan,
       "add\t/dev/ttyS0  \nadd\t/dev/ttyUSB1 A5 FT232R USB UART\n"},
      {"a held port gone before udev is done: no line",
       {scanOf({uartPort("/dev/ttyS0"), usbPort("/dev/ttyUSB1", "A5", 5)}),
        scanOf({uartPort("/dev/ttyS0")})},
       [](const ListedPort& port) { return port.port.portName == "/dev/ttyS0"; },
       "add\t/dev/ttyS0  \n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const WatchRun run = runWatch(settings, row.scans, row.udevFinished);
    EXPECT_EQ(run.status, kExitSuccess);
    EXPECT_EQ(run.out, row.out);
    EXPECT_EQ(run.err, "");
  }
}

// udev never finishes: the port comes 2 s after the scan that first saw it, with no change.
TEST(WatchPorts, APortThatUdevNeverFinishesComesAfterTwoSeconds) {
  FakeSource source;
  int scans = 0;
  const auto start = std::chrono::steady_clock::now();
  WatchWiring wiring{source,
                     [&] {
                       if (++scans == 2)
                         source.report();
                       else if (scans == 3)
                         ::kill(::getpid(), SIGTERM);
                       return scanOf({usbPort("/dev/ttyUSB0", "A5", 5)});
                     },
                     [](const ListedPort&) { return false; }, false};
  int out[2];
  ASSERT_EQ(::pipe2(out, O_CLOEXEC), 0);
  std::ostringstream errors;
  EXPECT_EQ(watchPorts(ListingSettings(), wiring, out[1], errors), kExitSuccess);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2000));
  EXPECT_EQ(scans, 3);
  ::close(out[1]);
  char buffer[64] = {};
  EXPECT_EQ(::read(out[0], buffer, sizeof buffer - 1), 17);
  EXPECT_STREQ(buffer, "add\t/dev/ttyUSB0\n");
  EXPECT_TRUE(source.watched.empty());
  ::close(out[0]);
}

// Changes 5 ms apart give one scan after the last; a stream that never pauses still gives a scan
// every 500 ms.
TEST(WatchPorts, ChangesSettleBeforeAScan) {
  for (const int changes : {8, 150}) {
    SCOPED_TRACE(changes);
    FakeSource source;
    std::vector<std::chrono::steady_clock::time_point> scans;
    WatchWiring wiring{source,
                       [&] {
                         scans.push_back(std::chrono::steady_clock::now());
                         return WatchScan();
                       },
                       nullptr, false};
    std::thread stream([&] {
      sigset_t all;
      sigfillset(&all);
      ::pthread_sigmask(SIG_BLOCK, &all, nullptr);
      for (int i = 0; i < changes; ++i) {
        source.report();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      ::kill(::getpid(), SIGTERM);
    });
    std::ostringstream errors;
    EXPECT_EQ(watchPorts(ListingSettings(), wiring, STDOUT_FILENO, errors), kExitSuccess);
    stream.join();
    if (changes == 8)
      EXPECT_EQ(scans.size(), 2u);
    else
      EXPECT_GE(scans.size(), 3u);  // the stream lasts 750 ms or more
  }
}

// How each kind of end looks: the status and the message.
TEST(WatchPorts, HowItEnds) {
  const struct {
    const char* name;
    std::function<void(FakeSource&, int readEnd)> afterFirstScan;
    int status;
    const char* err;
  } rows[] = {
      {"the source fails", [](FakeSource& source, int) { source.report('f'); }, kExitWriteError,
       "ttyenum: cannot watch /dev: Input/output error\n"},
      {"a descriptor that is not open", [](FakeSource& source, int) { source.closedFd = 999; },
       kExitWriteError, "ttyenum: cannot watch /dev: Bad file descriptor\n"},
      {"the reader goes on a quiet machine", [](FakeSource&, int readEnd) { ::close(readEnd); },
       kExitWriteError, "ttyenum: write error: Broken pipe\n"},
      {"SIGINT", [](FakeSource&, int) { ::kill(::getpid(), SIGINT); }, kExitSuccess, ""},
      {"SIGHUP", [](FakeSource&, int) { ::kill(::getpid(), SIGHUP); }, kExitSuccess, ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    FakeSource source;
    int out[2];
    ASSERT_EQ(::pipe2(out, O_CLOEXEC), 0);
    bool first = true;
    WatchWiring wiring{source,
                       [&] {
                         if (first)
                           row.afterFirstScan(source, out[0]);
                         first = false;
                         return WatchScan();
                       },
                       nullptr, false};
    std::ostringstream errors;
    EXPECT_EQ(watchPorts(ListingSettings(), wiring, out[1], errors), row.status);
    EXPECT_EQ(errors.str(), row.err);
    ::close(out[1]);
    if (std::string(row.name).find("reader") == std::string::npos)
      ::close(out[0]);
  }
}

// A reader that never reads: a stop still ends the watch, with status 0.
TEST(WatchPorts, AStopEndsAWriteThatWaits) {
  FakeSource source;
  int out[2];
  ASSERT_EQ(::pipe2(out, O_CLOEXEC | O_NONBLOCK), 0);
  while (::write(out[1], "xxxxxxxxxxxxxxxx", 16) > 0) {
  }
  ASSERT_EQ(::fcntl(out[1], F_SETFL, 0),
            0);  // the watch gets a blocking descriptor, as from a shell
  WatchWiring wiring{source, [] { return scanOf({uartPort("/dev/ttyS0")}); }, nullptr, false};
  std::thread stop = signalLater(SIGTERM, std::chrono::milliseconds(100));
  std::ostringstream errors;
  EXPECT_EQ(watchPorts(ListingSettings(), wiring, out[1], errors), kExitSuccess);
  stop.join();
  EXPECT_EQ(errors.str(), "");
  ::close(out[0]);
  ::close(out[1]);
}

}  // namespace
}  // namespace ttyenum
