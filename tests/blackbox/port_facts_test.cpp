// The facts beyond the nine fields as the built binary shows them, in a private namespace over
// the captured Debian 12 tree (kernel 6.1): the node's access and group as root and as an
// ordinary user see them, and every fact letter of the format.
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <regex>

#include "blackbox/tool_run.h"

namespace ttyenum::testing {
namespace {

using Json = nlohmann::ordered_json;
using PortFactsListing = FakeRootRun;

const char kFixture[] = "qemu-debian12-6.1";

// An existing group that the node can be given; "dialout" on Debian.
gid_t someGroup(std::string& name) {
  for (const char* candidate : {"dialout", "tty", "daemon"}) {
    if (const struct group* found = ::getgrnam(candidate)) {
      name = found->gr_name;
      return found->gr_gid;
    }
  }
  return 0;
}

// Access is judged for the user who runs the tool, never by opening: root may open any node for
// reading and writing; "nobody" may read a node of mode 0644, only write one that its group
// may write, and neither a node of mode 0600. A group id without a name is null.
TEST_F(PortFactsListing, AccessAndGroupForRootAndForAnOrdinaryUser) {
  FakeRoot fake;
  fake.unpackFixture(kFixture);
  std::string groupName;
  const gid_t group = someGroup(groupName);
  ASSERT_FALSE(groupName.empty());
  const struct group* nogroup = ::getgrnam("nogroup");
  ASSERT_NE(nogroup, nullptr);
  struct Node {
    const char* name;
    mode_t mode;
    gid_t group;
  };
  const gid_t unnamed = 54321;
  ASSERT_EQ(::getgrgid(unnamed), nullptr);
  const Node nodes[] = {
      {"ttyUSB0", 0644, group}, {"ttyUSB1", 0620, nogroup->gr_gid}, {"ttyACM0", 0600, unnamed}};
  for (const Node& node : nodes) {
    const std::string path = fake.path(std::string("/dev/") + node.name);
    ASSERT_EQ(::chown(path.c_str(), 0, node.group), 0);
    ASSERT_EQ(::chmod(path.c_str(), node.mode), 0);
  }
  // The ordinary user runs a copy of the binary that it can reach through the tree's folder.
  ASSERT_EQ(::chmod(fake.folder().c_str(), 0755), 0);
  fake.folder("/bin");
  const std::string binary = fake.path("/bin/ttyenum");
  ASSERT_EQ(std::system(("cp '" TTYENUM_BINARY "' '" + binary + "'").c_str()), 0);
  const std::vector<std::string> asNobody = {"/usr/bin/setpriv", "--reuid=65534",
                                             "--regid=" + std::to_string(nogroup->gr_gid),
                                             "--clear-groups", binary};

  const auto accessOf = [&](const std::vector<std::string>& command) {
    const ProcessResult result = runInFakeRoot(fake, command);
    EXPECT_EQ(result.status, 0) << result.err;
    std::vector<std::string> found;
    const Json document = Json::parse(result.out);
    for (const Json& port : document.at("ports")) {
      const std::string name = port.at("portName").get<std::string>();
      if (name.compare(0, 8, "/dev/tty") == 0 && name.find("ttyS") == std::string::npos)
        found.push_back(port.at("group").dump() + " " + port.at("access").dump());
    }
    return found;
  };
  std::vector<std::string> command = asNobody;
  command.push_back("--json");
  EXPECT_EQ(accessOf(command), (std::vector<std::string>{"\"" + groupName + "\" \"r\"",
                                                         "\"nogroup\" \"w\"", "null null"}));
  EXPECT_EQ(accessOf({binary, "--json"}),
            (std::vector<std::string>{"\"" + groupName + "\" \"rw\"", "\"nogroup\" \"rw\"",
                                      "null \"rw\""}));

  command = asNobody;
  command.insert(command.end(), {"--format=%c %a %g|", "--vid=0525"});
  EXPECT_EQ(runInFakeRoot(fake, command).out, "/dev/ttyACM0  |\nFound serial ports: 1\n");
  command.back() = "--pid=6001";
  EXPECT_EQ(runInFakeRoot(fake, command).out,
            "/dev/ttyUSB0 r " + groupName + "|\n/dev/ttyUSB1 w nogroup|\nFound serial ports: 2\n");
}

// Every fact letter on the real binary, with a port held by a process started for the test.
TEST_F(PortFactsListing, FormatLettersOfAHeldPort) {
  FakeRoot fake;
  fake.unpackFixture(kFixture);
  addQemuStableLinks(fake);
  const ProcessResult result = runToolInFakeRoot(
      fake, {"--format=%c|%k|%h|%H|%b|%D|%a|%g", "--state=used"}, {"/dev/ttyACM0"});
  std::smatch pid;
  ASSERT_TRUE(std::regex_search(result.out, pid, std::regex("\\|usb\\|([1-9][0-9]*)\\|")))
      << result.out;
  EXPECT_EQ(result.out, "/dev/ttyACM0|usb|" + pid[1].str() +
                            "|sleep|/dev/serial/by-id/usb-Linux_Gadget_Serial_v2.4_LAB-ACM-0001-"
                            "if00||rw|root\nFound serial ports: 1\n");
  const ProcessResult uart = runToolInFakeRoot(fake, {"--format=%c %k [%h%H%b]", "--list=short"});
  EXPECT_EQ(uart.out.substr(0, 35), "/dev/ttyS0 pnp []\n/dev/ttyS1 pnp []");
}

}  // namespace
}  // namespace ttyenum::testing
