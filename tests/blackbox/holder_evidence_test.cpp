// The binary in the captured Debian 12 tree as nobody (setpriv) while root holds a port; as root.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "blackbox/tool_run.h"

namespace ttyenum::testing {
namespace {

using Json = nlohmann::ordered_json;
using HolderEvidence = FakeRootRun;

// Runs `--json` while root holds `node` as `kind` says (hold_as_root.sh), `terminal` bound over
// /dev/ttyS0; returns each used port as "NAME HOLDER" (its pid as PID), then the scan's coverage.
std::string heldPortsWhile(const std::string& kind, const std::string& node, bool asRoot,
                           const std::string& terminal) {
  FakeRoot fake;
  fake.unpackFixture("qemu-debian12-6.1");
  fake.file("/dev/null", "");
  std::vector<std::string> argv = {"/bin/bash", TTYENUM_NAMESPACE_SCRIPT, "--bind-node",
                                   terminal + "=/dev/ttyS0"};
  argv.insert(argv.end(), {fake.folder(), "/bin/bash", TTYENUM_HOLD_SCRIPT, kind, node});
  std::string binary = TTYENUM_BINARY;
  if (!asRoot) {
    argv.insert(argv.end(),
                {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", "--"});
    // The build folder may lie where nobody may not go (under /root, say): run a copy.
    binary = fake.path("/ttyenum");
    std::filesystem::copy_file(TTYENUM_BINARY, binary);
    ::chmod(fake.folder().c_str(), 0755);
  }
  argv.insert(argv.end(), {binary, "--json"});
  const ProcessResult run = runProcess(argv, currentEnvironment());
  if (run.status != 0 || !run.err.empty())
    return "status " + std::to_string(run.status) + ": " + run.err;
  const size_t end = run.out.find('\n');  // "holder PID", from the script
  const std::string pid = run.out.substr(7, end - 7);
  const Json document = Json::parse(run.out.substr(end + 1));
  std::string text;
  for (const Json& port : document.at("ports"))
    if (port.at("inUse") || !port.at("holder").is_null())
      text += port.at("portName").get<std::string>() + " " + port.at("holder").dump() + "\n";
  text += "complete " + document.at("holdersComplete").dump() + ", unreadable " +
          (document.at("unreadableProcesses").get<int>() > 0 ? "some" : "none");
  for (size_t at; !pid.empty() && (at = text.find(":" + pid + ",")) != std::string::npos;)
    text.replace(at + 1, pid.size(), "PID");
  return text;
}

TEST_F(HolderEvidence, EachKindOfEvidenceNamesTheRootHolderToAnOrdinaryUser) {
  const char some[] = "complete false, unreadable some";
  const struct {
    const char* kind;
    const char* node;
    const char* holder;  // empty: the port is free
    const char* coverage;
    bool asRoot = false;
  } rows[] = {
      {"terminal", "/dev/ttyS0", R"({"pid":PID,"command":"sleep","via":"controlling-terminal"})",
       some},
      {"flock", "/dev/ttyUSB0", R"({"pid":PID,"command":"flock","via":"lock"})", some},
      {"posix", "/dev/ttyUSB1", R"({"pid":PID,"command":"perl","via":"lock"})", some},
      {"lock-file", "/dev/ttyS4", R"({"pid":PID,"command":"sleep","via":"lock-file"})", some},
      {"binary-lock-file", "/dev/ttyS5", R"({"pid":PID,"command":"sleep","via":"lock-file"})",
       some},
      {"stale-lock-file", "/dev/ttyS6", "", some},
      // /proc hides root's processes: the lock still names its pid, but not its command.
      {"hidden-flock", "/dev/ttyACM0", R"({"pid":PID,"command":null,"via":"lock"})",
       "complete false, unreadable none"},
      // Root reads every descriptor: a lock file whose live pid holds none of the port is ignored.
      {"lock-file", "/dev/ttyS4", "", "complete true, unreadable none", true},
  };
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);  // kept open while it runs
  ASSERT_TRUE(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0);
  const std::string terminal = ::ptsname(master);
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.kind) + (row.asRoot ? " as root" : ""));
    const std::string held = *row.holder ? std::string(row.node) + " " + row.holder + "\n" : "";
    EXPECT_EQ(heldPortsWhile(row.kind, row.node, row.asRoot, terminal), held + row.coverage);
  }
  ::close(master);
}

// The kernel console is a fact of the port, not a holder: its state stays free.
TEST_F(HolderEvidence, TheKernelConsoleIsShownAndStaysFree) {
  FakeRoot fake;
  fake.unpackFixture("qemu-debian12-6.1");
  fake.file("/sys/class/tty/console/active", "tty0 ttyS1\n");
  EXPECT_EQ(runToolInFakeRoot(fake, {"--format=%c|%C|%s"}).out,
            "/dev/ttyS0||free\n/dev/ttyS1|console|free\n/dev/ttyS4||free\n"
            "/dev/ttyS5||free\n/dev/ttyS6||free\n/dev/ttyUSB0||free\n"
            "/dev/ttyUSB1||free\n/dev/ttyACM0||free\nFound serial ports: 8\n");
}

}  // namespace
}  // namespace ttyenum::testing
