// The built binary with --wait, in a private namespace over the captured Debian 12 tree
// (kernel 6.1): the test makes ports appear while the tool waits, as a kernel would.
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <sstream>

#include "blackbox/tool_run.h"

namespace ttyenum::testing {
namespace {

using WaitForPort = FakeRootRun;

// Each row starts the tool with `args` (udev running if `udev`); 300 ms later `meanwhile` changes
// the tree or signals the tool while it waits. The row gives its whole output.
TEST_F(WaitForPort, EndsWithTheFirstListingThatHoldsAPort) {
  // A new adapter; where udev runs, its link and database entry come 200 ms after its node.
  const auto plug = [](FakeRoot& tree, BackgroundProcess& run) {
    addQemuUsbAdapter(tree, "ttyUSB2", "1-3", "1234");
    ASSERT_EQ(::mknod(tree.path("/dev/ttyUSB2").c_str(), S_IFCHR | 0660, ::makedev(188, 2)), 0);
    if (::access(tree.path("/run/udev/control").c_str(), F_OK) != 0)
      return;
    EXPECT_EQ(run.nextLine(200), std::nullopt);  // the node alone does not count
    tree.link("/dev/serial/by-id/usb-1234-ttyUSB2", "../../ttyUSB2");
    tree.file("/run/udev/data/c188:2", "E:ID_PATH=pci-0000:00:05.0-usb-0:3:1.0\n");
  };
  const auto terminate = [](FakeRoot&, BackgroundProcess& run) { ::kill(toolPid(run), SIGTERM); };
  const struct {
    const char* name;
    const char* args;  // parted by spaces
    bool udev;
    std::function<void(FakeRoot&, BackgroundProcess&)> meanwhile;
    const char* out;
    const char* err;
    int status;
  } rows[] = {
      {"a port already there", "--wait --vid=0525 -l short", false, nullptr,
       "/dev/ttyACM0\nFound serial ports: 1\n", "", 0},
      {"a port that comes 300 ms later", "--wait --vid=1234 --timeout=20 -f %c", false, plug,
       "/dev/ttyUSB2\nFound serial ports: 1\n", "", 0},
      {"with udev, once its database entry is there", "--wait --vid=1234 -f %c,%b", true, plug,
       "/dev/ttyUSB2,/dev/serial/by-id/usb-1234-ttyUSB2\nFound serial ports: 1\n", "", 0},
      {"timeout", "--wait --vid=ffff --timeout=0.3 -J", false, nullptr, "",
       "ttyenum: no matching port within 0.3 s\n", 1},
      {"SIGTERM while waiting", "--wait --vid=ffff", false, terminate, "",
       "ttyenum: stopped before a matching port appeared\n", 1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    FakeRoot tree;
    tree.unpackFixture("qemu-debian12-6.1");
    if (row.udev) {
      tree.file("/run/udev/control", "");
      tree.folder("/run/udev/data");
    }
    std::istringstream words(row.args);
    const std::vector<std::string> args{std::istream_iterator<std::string>(words), {}};
    std::unique_ptr<BackgroundProcess> run = startToolInFakeRoot(tree, args);
    if (row.meanwhile) {
      ASSERT_GT(toolPid(*run), 0);
      ::usleep(300 * 1000);
      row.meanwhile(tree, *run);
    }
    const ProcessResult end = run->finish(10000);
    EXPECT_EQ(end.out, row.out);
    EXPECT_EQ(end.err, row.err);
    EXPECT_EQ(end.status, row.status);
  }
}

}  // namespace
}  // namespace ttyenum::testing
