// The built binary with --wait, in a private namespace over the captured Debian 12 tree
// (kernel 6.1): the test makes ports appear while the tool waits, as a kernel would.
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "blackbox/tool_run.h"

namespace ttyenum::testing {
namespace {

const char kFixture[] = "qemu-debian12-6.1";
constexpr int kEndTimeoutMs = 10000;

using WaitForPort = FakeRootRun;

// Each row starts the tool with `args`, lets `meanwhile` change the tree (or signal the tool)
// while it waits, and gives its whole output.
TEST_F(WaitForPort, EndsWithTheFirstListingThatHoldsAPort) {
  const auto after = [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
  const auto plugAdapter = [&](FakeRoot& tree, BackgroundProcess& run) {
    ASSERT_GT(toolPid(run), 0);
    after(300);
    addQemuUsbAdapter(tree, "ttyUSB2", "1-3", "1234");
    tree.node("ttyUSB2");
  };
  const auto udevFinishesLater = [&](FakeRoot& tree, BackgroundProcess& run) {
    ASSERT_GT(toolPid(run), 0);
    addQemuUsbAdapter(tree, "ttyUSB2", "1-3", "1234");
    ASSERT_EQ(::mknod(tree.path("/dev/ttyUSB2").c_str(), S_IFCHR | 0660, ::makedev(188, 2)), 0);
    EXPECT_EQ(run.nextLine(200), std::nullopt);  // the node alone does not count
    tree.link("/dev/serial/by-id/usb-1234-ttyUSB2", "../../ttyUSB2");
    tree.file("/run/udev/data/.c188:2.tmp", "E:ID_PATH=pci-0000:00:05.0-usb-0:3:1.0\n");
    ASSERT_EQ(::rename(tree.path("/run/udev/data/.c188:2.tmp").c_str(),
                       tree.path("/run/udev/data/c188:2").c_str()),
              0);
  };
  const auto terminate = [&](FakeRoot&, BackgroundProcess& run) {
    after(300);
    ::kill(toolPid(run), SIGTERM);
  };
  const struct {
    const char* name;
    std::vector<std::string> args;
    bool udev;
    std::function<void(FakeRoot&, BackgroundProcess&)> meanwhile;
    ProcessResult end;
  } rows[] = {
      {"a port already there",
       {"--wait", "--vid=0525", "-l", "short"},
       false,
       nullptr,
       {"/dev/ttyACM0\nFound serial ports: 1\n", "", 0}},
      {"a port that comes 300 ms later",
       {"--wait", "--vid=1234", "--timeout=20"},
       false,
       plugAdapter,
       {"", "", 0}},
      {"with udev, once its database entry is there",
       {"--wait", "--vid=1234", "-f", "%c %b"},
       true,
       udevFinishesLater,
       {"/dev/ttyUSB2 /dev/serial/by-id/usb-1234-ttyUSB2\nFound serial ports: 1\n", "", 0}},
      {"timeout",
       {"--wait", "--vid=ffff", "--timeout=0.3", "-J"},
       false,
       nullptr,
       {"", "ttyenum: no matching port within 0.3 s\n", 1}},
      {"SIGTERM while waiting",
       {"--wait", "--vid=ffff"},
       false,
       terminate,
       {"", "ttyenum: stopped before a matching port appeared\n", 1}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    FakeRoot tree;
    tree.unpackFixture(kFixture);
    if (row.udev) {
      tree.file("/run/udev/control", "");
      tree.folder("/run/udev/data");
    }
    std::unique_ptr<BackgroundProcess> run = startToolInFakeRoot(tree, row.args);
    if (row.meanwhile)
      row.meanwhile(tree, *run);
    const ProcessResult end = run->finish(kEndTimeoutMs);
    if (std::string(row.name) == "a port that comes 300 ms later") {
      EXPECT_NE(end.out.find("Portname:\t/dev/ttyUSB2\n"), std::string::npos) << end.out;
      EXPECT_NE(end.out.find("Found serial ports: 1\n"), std::string::npos) << end.out;
    } else {
      EXPECT_EQ(end.out, row.end.out);
    }
    EXPECT_EQ(end.err, row.end.err);
    EXPECT_EQ(end.status, row.end.status);
  }
}

}  // namespace
}  // namespace ttyenum::testing
