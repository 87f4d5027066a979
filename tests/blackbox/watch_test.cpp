// The built binary in watch mode, in a private namespace over the captured Debian 12 tree
// (kernel 6.1): the test changes the fake tree while the tool runs, as a kernel would.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "blackbox/tool_run.h"

namespace ttyenum::testing {
namespace {

const char kFixture[] = "qemu-debian12-6.1";
// Generous: the tool promises an add within a second; sanitizer builds and busy machines are
// slower.
constexpr int kLineTimeoutMs = 5000;
constexpr int kEndTimeoutMs = 10000;

const char* const kQemuPorts[] = {"/dev/ttyS0", "/dev/ttyS1",   "/dev/ttyS4",   "/dev/ttyS5",
                                  "/dev/ttyS6", "/dev/ttyUSB0", "/dev/ttyUSB1", "/dev/ttyACM0"};

void removeNode(FakeRoot& fake, const std::string& name) {
  ASSERT_EQ(::unlink(fake.path("/dev/" + name).c_str()), 0) << name;
}

// The uevent file of a virtual console that root may write (never a real port's, whose events
// other programs act on), or empty text.
std::string realTtyUeventFile() {
  const char kVirtualConsole[] = "/sys/class/tty/tty63/uevent";
  if (::geteuid() != 0 || ::access(kVirtualConsole, W_OK) != 0)
    return std::string();
  return kVirtualConsole;
}

void writeChange(const std::string& ueventFile) {
  const int fd = ::open(ueventFile.c_str(), O_WRONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::write(fd, "change", 6), 6);
  ::close(fd);
}

class Watch : public FakeRootRun {
 protected:
  void SetUp() override {
    FakeRootRun::SetUp();
    if (!IsSkipped() && !HasFailure())
      fake.unpackFixture(kFixture);
  }

  // Starts the watch and reads its first lines, which must be `first`.
  void start(const std::vector<std::string>& args, const std::vector<std::string>& first) {
    run = startToolInFakeRoot(fake, args);
    for (const std::string& line : first)
      ASSERT_EQ(run->nextLine(kLineTimeoutMs), line);
  }

  // One add line per port of the captured tree, `suffix` after each name.
  static std::vector<std::string> qemuLines(const std::string& suffix = "") {
    std::vector<std::string> lines;
    for (const char* port : kQemuPorts)
      lines.push_back(std::string("add\t") + port + suffix + "\n");
    return lines;
  }

  // Ends the watch with `signal`; nothing may be left unread.
  ProcessResult stop(int signal = SIGTERM) {
    const pid_t pid = toolPid(*run);
    EXPECT_GT(pid, 0);
    if (pid > 0)
      ::kill(pid, signal);
    return run->finish(kEndTimeoutMs);
  }

  void expectCleanEnd(int signal = SIGTERM) {
    const ProcessResult end = stop(signal);
    EXPECT_EQ(end.out, "");
    EXPECT_EQ(end.err, "");
    EXPECT_EQ(end.status, 0);
  }

  FakeRoot fake;
  std::unique_ptr<BackgroundProcess> run;
};

TEST_F(Watch, FirstAddLinesInListingOrderInTextAndFormatForms) {
  start({"-w"}, qemuLines());
  expectCleanEnd();

  // --list and --no-counting have no effect; the format line, fact letters and all, loses its
  // own line feed.
  start({"--watch", "--format=%c %u %k", "--vid=0403", "--list=short", "--no-counting"},
        {"add\t/dev/ttyUSB0 0403:6001 usb\n", "add\t/dev/ttyUSB1 0403:6001 usb\n"});
  expectCleanEnd();
}

TEST_F(Watch, JsonLinesHoldTheDocumentsPortObjects) {
  const ProcessResult document = runToolInFakeRoot(fake, {"-J"});
  ASSERT_EQ(document.status, 0);
  run = startToolInFakeRoot(fake, {"-J", "-w"});
  const auto ports = nlohmann::ordered_json::parse(document.out).at("ports");
  ASSERT_EQ(ports.size(), 8u);
  const std::string prefix = "{\"event\": \"add\", \"port\": ";
  for (const auto& port : ports) {
    const std::optional<std::string> line = run->nextLine(kLineTimeoutMs);
    ASSERT_TRUE(line);
    const auto parsed = nlohmann::ordered_json::parse(*line);
    EXPECT_EQ(parsed.at("port"), port);
    // The same text as in the document: keys, order, spacing and escaping.
    ASSERT_EQ(line->compare(0, prefix.size(), prefix), 0) << *line;
    const std::string portText = line->substr(prefix.size(), line->size() - prefix.size() - 2);
    EXPECT_NE(document.out.find(portText), std::string::npos) << portText;
  }
  expectCleanEnd(SIGINT);
}

TEST_F(Watch, PortsComeAndGoAndABurstGivesOneScan) {
  start({"-w"}, qemuLines());
  addQemuUsbAdapter(fake, "ttyUSB2", "1-3");
  fake.node("ttyUSB2");
  EXPECT_EQ(run->nextLine(kLineTimeoutMs), "add\t/dev/ttyUSB2\n");
  removeNode(fake, "ttyUSB2");
  EXPECT_EQ(run->nextLine(kLineTimeoutMs), "remove\t/dev/ttyUSB2\n");

  // A hub with four adapters: their nodes appear in reverse order, 30 ms apart; lines in
  // listing order show that one scan saw them all.
  for (int i = 3; i <= 6; ++i)
    addQemuUsbAdapter(fake, "ttyUSB" + std::to_string(i), "1-" + std::to_string(i + 1));
  for (int i = 6; i >= 3; --i) {
    fake.node("ttyUSB" + std::to_string(i));
    ::usleep(30 * 1000);
  }
  for (int i = 3; i <= 6; ++i)
    EXPECT_EQ(run->nextLine(kLineTimeoutMs), "add\t/dev/ttyUSB" + std::to_string(i) + "\n");
  expectCleanEnd(SIGHUP);
}

TEST_F(Watch, FiltersHoldForEveryScan) {
  start({"-w", "--vid=0525"}, {"add\t/dev/ttyACM0\n"});
  addQemuUsbAdapter(fake, "ttyUSB2", "1-3");  // 0403: excluded
  fake.node("ttyUSB2");
  addQemuUsbAdapter(fake, "ttyUSB3", "1-4", "0525");
  fake.node("ttyUSB3");
  EXPECT_EQ(run->nextLine(kLineTimeoutMs), "add\t/dev/ttyUSB3\n");
  expectCleanEnd();
}

// A port that becomes held leaves a --state=free watch, and comes back when it is let go: the
// watch sees the node opened and closed. The holder opens the node inside the tool's
// namespaces, as /dev/ttyUSB1.
TEST_F(Watch, StateFilterFollowsHolders) {
  start({"-w", "--state=free", "--format=%c %s"}, qemuLines(" free"));
  const pid_t tool = toolPid(*run);
  ASSERT_GT(tool, 0);
  auto holder = std::make_unique<BackgroundProcess>(
      std::vector<std::string>{"/usr/bin/nsenter", "-t", std::to_string(tool), "-m", "-p", "--",
                               "/bin/sh", "-c", "exec sleep 300 </dev/ttyUSB1"},
      currentEnvironment());
  EXPECT_EQ(run->nextLine(kLineTimeoutMs), "remove\t/dev/ttyUSB1 free\n");
  holder.reset();
  EXPECT_EQ(run->nextLine(kLineTimeoutMs), "add\t/dev/ttyUSB1 free\n");
  expectCleanEnd();
}

TEST_F(Watch, ClosedPipeEndsWithAWriteError) {
  start({"-w", "--vid=0525"}, {"add\t/dev/ttyACM0\n"});
  run->closeOutput();
  removeNode(fake, "ttyACM0");
  const ProcessResult end = run->finish(kEndTimeoutMs);
  EXPECT_EQ(end.err, "ttyenum: write error: Broken pipe\n");
  EXPECT_EQ(end.status, 1);
}

// An adapter unplugged and another plugged under the same name within the settling time: its
// device's serial number and address differ, so the port is removed and added.
TEST_F(Watch, AnAdapterSwappedUnderTheSameName) {
  start({"-w", "-f", "%c %n", "--vid=0403"},
        {"add\t/dev/ttyUSB0 1-0000:00:05.0-1\n", "add\t/dev/ttyUSB1 LAB-FTDI-0002\n"});
  const std::string device = std::string(kQemuUsbBus) + "1-1/";
  removeNode(fake, "ttyUSB0");
  fake.file(device + "serial", "OTHER-ADAPTER\n");
  fake.file(device + "devnum", "9\n");
  fake.node("ttyUSB0");
  EXPECT_EQ(run->nextLine(kLineTimeoutMs), "remove\t/dev/ttyUSB0 1-0000:00:05.0-1\n");
  EXPECT_EQ(run->nextLine(kLineTimeoutMs), "add\t/dev/ttyUSB0 OTHER-ADAPTER\n");
  expectCleanEnd();
}

// A folder bound over /dev after the start is watched instead of the one below it.
TEST_F(Watch, ADevMountedOverIsWatchedInstead) {
  start({"-w", "--vid=0403"}, {"add\t/dev/ttyUSB0\n", "add\t/dev/ttyUSB1\n"});
  fake.folder("/other-dev");
  fake.file("/other-dev/ttyUSB0", "");
  fake.file("/other-dev/ttyUSB1", "");
  const ProcessResult bind =
      runProcess({"/usr/bin/nsenter", "-t", std::to_string(toolPid(*run)), "-m", "--", "/bin/mount",
                  "--bind", fake.path("/other-dev"), "/dev"},
                 currentEnvironment());
  ASSERT_EQ(bind.status, 0) << bind.err;
  ::usleep(200 * 1000);
  addQemuUsbAdapter(fake, "ttyUSB2", "1-3");
  fake.file("/other-dev/ttyUSB2", "");
  EXPECT_EQ(run->nextLine(kLineTimeoutMs), "add\t/dev/ttyUSB2\n");
  expectCleanEnd();
}

// On the real machine, as root: a kernel uevent of a real tty makes the watch scan. The fake
// tree gains a port by its sysfs entries alone, which /dev cannot report.
TEST_F(Watch, KernelUeventsMakeItScanAndAFloodLosesNothing) {
  const std::string uevent = realTtyUeventFile();
  if (uevent.empty())
    GTEST_SKIP() << "needs root and a real tty's uevent file";
  fake.node("ttyUSB2");
  fake.node("ttyUSB3");
  start({"-w", "--vid=0403", "-f", "%c"}, {"add\t/dev/ttyUSB0\n", "add\t/dev/ttyUSB1\n"});
  addQemuUsbAdapter(fake, "ttyUSB2", "1-3");
  writeChange(uevent);
  EXPECT_EQ(run->nextLine(kLineTimeoutMs), "add\t/dev/ttyUSB2\n");

  // Hundreds of uevents while one port gains its entries and another loses them: whatever
  // the kernel drops, the scan after the flood sees both.
  for (int i = 0; i < 400; ++i) {
    if (i == 200) {
      addQemuUsbAdapter(fake, "ttyUSB3", "1-4");
      ASSERT_EQ(::unlink(fake.path("/sys/class/tty/ttyUSB1").c_str()), 0);
    }
    writeChange(uevent);
  }
  std::vector<std::string> lines;
  while (lines.size() < 2) {
    const std::optional<std::string> line = run->nextLine(kEndTimeoutMs);
    ASSERT_TRUE(line) << "lines so far: " << ::testing::PrintToString(lines);
    lines.push_back(*line);
  }
  EXPECT_EQ(lines, (std::vector<std::string>{"remove\t/dev/ttyUSB1\n", "add\t/dev/ttyUSB3\n"}));
  expectCleanEnd();
}

// Started with SIGHUP ignored (as under nohup), the watch leaves it ignored.
TEST_F(Watch, AnIgnoredHangupLeavesItRunning) {
  ::signal(SIGHUP, SIG_IGN);  // the tool inherits it through the namespace helper
  start({"-w", "--vid=0525"}, {"add\t/dev/ttyACM0\n"});
  ::signal(SIGHUP, SIG_DFL);
  ::kill(toolPid(*run), SIGHUP);
  removeNode(fake, "ttyACM0");
  EXPECT_EQ(run->nextLine(kLineTimeoutMs), "remove\t/dev/ttyACM0\n");
  expectCleanEnd();
}

}  // namespace
}  // namespace ttyenum::testing
