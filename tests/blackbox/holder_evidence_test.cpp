// The built binary run as an ordinary user (nobody, through setpriv) in a fake tree's namespace
// while root holds ports in ways that every user can see: a controlling terminal, a lock, a
// lock file. The tree is the captured Debian 12 guest (kernel 6.1); its nodes are plain files,
// except where a real pseudo-terminal is bound over one.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "blackbox/tool_run.h"

namespace ttyenum::testing {
namespace {

using Json = nlohmann::ordered_json;
using HolderEvidence = FakeRootRun;

const char kFixture[] = "qemu-debian12-6.1";

struct HeldRun {
  std::string holderPid;  // empty when the kind starts no process
  ProcessResult result;   // the tool's run, less the holder line
};

// Runs ttyenum with `args` while a root process holds `node` the way `kind` says (see
// hold_as_root.sh); as nobody unless `asRoot`. `bindings` are REAL=NODE pairs of real nodes
// bound over fake ones.
HeldRun runWhileHeld(const FakeRoot& fake, const std::string& kind, const std::string& node,
                     bool asRoot, const std::vector<std::string>& args,
                     const std::vector<std::string>& bindings = {}) {
  std::vector<std::string> argv = {"/bin/bash", TTYENUM_NAMESPACE_SCRIPT};
  for (const std::string& binding : bindings) {
    argv.push_back("--bind-node");
    argv.push_back(binding);
  }
  for (const char* word : {fake.folder().c_str(), "/bin/bash", TTYENUM_HOLD_SCRIPT})
    argv.emplace_back(word);
  argv.push_back(kind);
  argv.push_back(node);
  std::string binary = TTYENUM_BINARY;
  if (!asRoot) {
    for (const char* word :
         {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", "--"})
      argv.emplace_back(word);
    // The build folder may lie where nobody may not go (under /root, say): run a copy.
    binary = fake.path("/ttyenum");
    std::filesystem::copy_file(TTYENUM_BINARY, binary,
                               std::filesystem::copy_options::overwrite_existing);
    ::chmod(fake.folder().c_str(), 0755);
    ::chmod(binary.c_str(), 0755);
  }
  argv.push_back(binary);
  argv.insert(argv.end(), args.begin(), args.end());
  HeldRun run{"", runProcess(argv, currentEnvironment())};
  const std::string prefix = "holder ";
  const size_t end = run.result.out.find('\n');
  if (run.result.out.compare(0, prefix.size(), prefix) == 0 && end != std::string::npos) {
    run.holderPid = run.result.out.substr(prefix.size(), end - prefix.size());
    run.result.out.erase(0, end + 1);
  }
  return run;
}

// A pseudo-terminal whose master stays open while the test runs.
class PseudoTerminal {
 public:
  PseudoTerminal() : master_(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC)) {
    if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0)
      slave_ = ::ptsname(master_);
  }
  ~PseudoTerminal() {
    if (master_ >= 0)
      ::close(master_);
  }
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;
  const std::string& slave() const { return slave_; }

 private:
  int master_;
  std::string slave_;
};

struct EvidenceRow {
  const char* kind;
  const char* node;
  const char* via;      // nullptr: the port is free
  const char* command;  // nullptr: JSON null
  bool someUnreadable;  // unreadableProcesses > 0
};

TEST_F(HolderEvidence, AsAnOrdinaryUserEachKindOfEvidenceNamesTheRootHolder) {
  const EvidenceRow rows[] = {
      {"terminal", "/dev/ttyS0", "controlling-terminal", "sleep", true},
      {"flock", "/dev/ttyUSB0", "lock", "flock", true},
      {"posix", "/dev/ttyUSB1", "lock", "perl", true},
      {"lock-file", "/dev/ttyS4", "lock-file", "sleep", true},
      {"binary-lock-file", "/dev/ttyS5", "lock-file", "sleep", true},
      {"stale-lock-file", "/dev/ttyS6", nullptr, nullptr, true},
      // /proc hides root's processes: the lock still names its pid, but not its command.
      {"hidden-flock", "/dev/ttyACM0", "lock", nullptr, false},
  };
  PseudoTerminal terminal;
  ASSERT_FALSE(terminal.slave().empty());
  for (const EvidenceRow& row : rows) {
    SCOPED_TRACE(row.kind);
    FakeRoot fake;
    fake.unpackFixture(kFixture);
    fake.file("/dev/null", "");
    const std::vector<std::string> bindings = {terminal.slave() + "=/dev/ttyS0"};
    const HeldRun run = runWhileHeld(fake, row.kind, row.node, false, {"--json"}, bindings);
    ASSERT_EQ(run.result.status, 0) << run.result.err;
    EXPECT_EQ(run.result.err, "");
    const Json document = Json::parse(run.result.out);
    Json holder;  // null
    if (row.via != nullptr) {
      holder = Json{{"pid", std::stoi(run.holderPid)}, {"command", nullptr}, {"via", row.via}};
      if (row.command != nullptr)
        holder["command"] = row.command;
    }
    for (const Json& port : document.at("ports")) {
      if (port.at("portName") == row.node) {
        EXPECT_EQ(port.at("holder").dump(), holder.dump());
        EXPECT_EQ(port.at("inUse"), row.via != nullptr);
      } else {
        EXPECT_EQ(port.at("holder"), nullptr) << port.at("portName");
      }
    }
    EXPECT_EQ(document.at("holdersComplete"), false);
    EXPECT_EQ(document.at("unreadableProcesses").get<int>() > 0, row.someUnreadable);
  }
}

// Root reads every descriptor: a lock file whose live process holds none of the port is
// ignored, and the scan is complete.
TEST_F(HolderEvidence, AsRootDescriptorsAloneDecide) {
  FakeRoot fake;
  fake.unpackFixture(kFixture);
  fake.file("/dev/null", "");
  const HeldRun run = runWhileHeld(fake, "lock-file", "/dev/ttyS4", true, {"--json", "-s", "used"});
  ASSERT_EQ(run.result.status, 0) << run.result.err;
  EXPECT_EQ(run.result.out,
            "{\"ports\": [], \"holdersComplete\": true, \"unreadableProcesses\": 0}\n");
}

// The kernel console is a fact of the port, not a holder: its state stays free.
TEST_F(HolderEvidence, TheKernelConsoleIsShownAndStaysFree) {
  FakeRoot fake;
  fake.unpackFixture(kFixture);
  fake.file("/sys/class/tty/console/active", "tty0 ttyS1\n");
  const ProcessResult text = runToolInFakeRoot(fake, {"--format=%c|%C|%s"});
  EXPECT_EQ(text.out,
            "/dev/ttyS0||free\n/dev/ttyS1|console|free\n/dev/ttyS4||free\n"
            "/dev/ttyS5||free\n/dev/ttyS6||free\n/dev/ttyUSB0||free\n"
            "/dev/ttyUSB1||free\n/dev/ttyACM0||free\nFound serial ports: 8\n");
  const ProcessResult json = runToolInFakeRoot(fake, {"--json"});
  ASSERT_EQ(json.status, 0) << json.err;
  std::string consoles;
  const Json document = Json::parse(json.out);
  for (const Json& port : document.at("ports"))
    consoles += port.at("console") ? "1" : "0";
  EXPECT_EQ(consoles, "01000000");
}

}  // namespace
}  // namespace ttyenum::testing
