// The built binary run from outside: exact standard output, standard error and exit status of
// the paths that end before discovery.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "blackbox/tool_run.h"

namespace ttyenum::testing {
namespace {

// The usage text as wxWidgets 3.2 lays it out from the option table and the logo.
const std::string kUsage =
    "ttyenum [options]\n"
    "Usage: ttyenum [-h] [-f <str>] [-J] [-l <str>] [--missing] [--no-counting] [--pid <str>] "
    "[--port <str>] [--prometheus] [-s <str>] [--timeout <str>] [--udev-rule <str>] [--vid <str>] "
    "[-v] [--wait] [-w]\n"
    "  -h, --help        \tshows help\n"
    "  -f, --format=<str>\tspecifies the port information output by a format string.\n"
    "\t\t\tYou can use the following place holders beside any other\n"
    "\t\t\tprintable characters (except for the %):\n"
    "\t\t\t\n"
    "\t\t\t%c : com port like COM4 or /dev/ttyUSB1\n"
    "\t\t\t%u : the VID:PID\n"
    "\t\t\t%m : vendor (manufacturer\n"
    "\t\t\t%p : product name (type)\n"
    "\t\t\t%n : serial number\n"
    "\t\t\t%d : driver name\n"
    "\t\t\t%v : driver version\n"
    "\t\t\t%s : device state (free or used)\n"
    "\t\t\t%t : out a single tab\n"
    "\t\t\t%k : how the port was judged to be hardware: pnp, pci, amba, platform, spi, i2c or usb\n"
    "\t\t\t%h : the pid of the first process that holds the port open\n"
    "\t\t\t%H : that process's command name (/proc/<pid>/comm)\n"
    "\t\t\t%b : the first /dev/serial/by-id link to the port, as a full path\n"
    "\t\t\t%D : the node's device number, major:minor, such as 188:0\n"
    "\t\t\t%a : what you may open the node for: rw, r or w\n"
    "\t\t\t%g : the name of the node's group, such as dialout\n"
    "\t\t\t%C : console when the kernel writes its messages to the port, else nothing\n"
    "\t\t\t%% : a percent sign\n"
    "\t\t\t\n"
    "\t\t\tExample: --format=%c,%s\n"
    "\t\t\t\n"
    "  -J, --json        \tlists the ports as JSON\n"
    "  -l, --list=<str>  \tselects long (default) or short list output\n"
    "\t\t\tlong  : detailed output (default)\n"
    "\t\t\tshort : outputs only the port name\n"
    "  --missing         \tlists USB serial interfaces that have no port, and why\n"
    "  --no-counting     \tSuppress final display of counted ports\n"
    "  --pid=<str>       \tlists only serial ports with the given product id\n"
    "  --port=<str>      \tlists only the serial port whose node is the given path\n"
    "  --prometheus      \tlists the ports as Prometheus metrics\n"
    "  -s, --state=<str> \tlists serial ports with the given state\n"
    "\t\t\texist : existing ports (default)\n"
    "\t\t\tfree  : only free (available) ports\n"
    "\t\t\tused  : only actually used ports\n"
    "  --timeout=<str>   \twith --wait: gives up after SECONDS (such as 2 or 0.5)\n"
    "  --udev-rule=<str> \tprints a udev rule that names the one port kept /dev/NAME\n"
    "  --vid=<str>       \tlists only serial ports with the given vendor id\n"
    "  -v, --version     \tshows program version\n"
    "  --wait            \twaits until a port passes the filters, then lists as without it\n"
    "  -w, --watch       \tkeeps running and reports ports as they appear and disappear\n";

struct Row {
  const char* name;
  std::vector<std::string> args;
  std::string out;
  std::string err;
  int status;
};

void expectRun(const Row& row, const std::vector<std::string>& environment) {
  SCOPED_TRACE(row.name);
  const ProcessResult result = runTool(row.args, environment);
  EXPECT_EQ(result.out, row.out);
  EXPECT_EQ(result.err, row.err);
  EXPECT_EQ(result.status, row.status);
}

TEST(CommandLine, HelpVersionAndRejectedCommandLines) {
  const Row rows[] = {
      {"-h", {"-h"}, "", kUsage, 0},
      {"--help", {"--help"}, "", kUsage, 0},
      {"-h with valid options", {"--list=short", "-h", "--state=used"}, "", kUsage, 0},
      {"-h over -v", {"-v", "-h"}, "", kUsage, 0},
      {"-h over -w", {"-w", "-h"}, "", kUsage, 0},
      {"-v over -w", {"--watch", "-v"}, "0.1.0\n", "", 0},
      {"-w with a bad --state", {"-w", "--state=any"}, "", kUsage, 2},
      {"-h over a bad --list", {"-h", "--list=Short"}, "", kUsage, 0},
      {"-v", {"-v"}, "0.1.0\n", "", 0},
      {"--version", {"--version"}, "0.1.0\n", "", 0},
      {"-v over a bad --list", {"-v", "--list=bogus"}, "0.1.0\n", "", 0},
      {"-v over a bad --state", {"--state=FREE", "-v"}, "0.1.0\n", "", 0},
      {"--list=Short", {"--list=Short"}, "", kUsage, 2},
      {"--state=FREE", {"--state=FREE"}, "", kUsage, 2},
      {"empty --state", {"--state="}, "", kUsage, 2},
      {"empty --list", {"--list="}, "", kUsage, 2},
      {"bad --list before bad --state", {"--state=x", "--list=y"}, "", kUsage, 2},
      {"--prometheus with --json", {"--prometheus", "-J"}, "", kUsage, 2},
      {"--prometheus with --json and valid options",
       {"--json", "--state=used", "--prometheus"},
       "",
       kUsage,
       2},
      {"--prometheus with --watch", {"-w", "--prometheus"}, "", kUsage, 2},
      {"--missing with --format", {"--missing", "--format=%c"}, "", kUsage, 2},
      {"--missing with -f", {"-f", "%c", "--missing", "--json"}, "", kUsage, 2},
      {"--missing with --prometheus", {"--prometheus", "--missing"}, "", kUsage, 2},
      {"--missing with --watch", {"--missing", "-w"}, "", kUsage, 2},
      {"-h over --missing with --watch", {"--missing", "-w", "-h"}, "", kUsage, 0},
      {"-h over --prometheus with --json", {"--prometheus", "-J", "-h"}, "", kUsage, 0},
      {"-v over --prometheus with --json", {"--prometheus", "--json", "-v"}, "0.1.0\n", "", 0},
      {"--udev-rule with a bad name", {"--udev-rule=lab//ftdi"}, "", kUsage, 2},
      {"--udev-rule with an empty name", {"--udev-rule="}, "", kUsage, 2},
      {"--udev-rule with --json", {"-J", "--udev-rule=board"}, "", kUsage, 2},
      {"--udev-rule with --prometheus", {"--udev-rule=board", "--prometheus"}, "", kUsage, 2},
      {"--udev-rule with --watch", {"--udev-rule=board", "-w"}, "", kUsage, 2},
      {"--udev-rule with --missing", {"--missing", "--udev-rule=board"}, "", kUsage, 2},
      {"-h over a bad --udev-rule", {"--udev-rule=..", "-h"}, "", kUsage, 0},
      {"--bogus", {"--bogus"}, "", "Unknown long option 'bogus'\n" + kUsage, 2},
      {"--stat=free typo", {"--stat=free"}, "", "Unknown long option 'stat'\n" + kUsage, 2},
      {"unknown short option", {"-x"}, "", "Unknown option 'x'\n" + kUsage, 2},
      {"positional argument", {"extra"}, "", "Unexpected parameter 'extra'\n" + kUsage, 2},
      {"parse error over -h", {"-h", "extra"}, "", "Unexpected parameter 'extra'\n" + kUsage, 2},
      {"--format without value",
       {"--format"},
       "",
       "Option 'format' requires a value.\n" + kUsage,
       2},
      {"-f without value", {"-f"}, "", "Option 'f' requires a value.\n" + kUsage, 2},
      {"--wait with --watch", {"--wait", "-w"}, "", kUsage, 2},
      {"--wait with --prometheus", {"--prometheus", "--wait"}, "", kUsage, 2},
      {"--timeout without --wait", {"--timeout=2"}, "", kUsage, 2},
      {"--udev-rule with --wait", {"--wait", "--udev-rule=board"}, "", kUsage, 2},
      {"--timeout with a unit", {"--wait", "--timeout=2s"}, "", kUsage, 2},
      {"-v over --wait with --watch", {"--wait", "-w", "-v"}, "0.1.0\n", "", 0},
  };
  for (const Row& row : rows)
    expectRun(row, currentEnvironment());
}

// wxWidgets would decode char** arguments by the locale's character set and, under UTF-8,
// warn about bytes it cannot convert and drop that argument. The tool decodes them itself.
TEST(CommandLine, ArgumentBytesNeverWarnOrVanish) {
  const std::vector<std::string> locales = {"", "LC_ALL=C", "LC_ALL=POSIX", "LC_ALL=C.UTF-8",
                                            "LANG=C.UTF-8"};
  for (const std::string& locale : locales) {
    SCOPED_TRACE("locale setting '" + locale + "'");
    const auto environment = environmentWithoutLocale(
        locale.empty() ? std::vector<std::string>{} : std::vector<std::string>{locale});
    expectRun({"invalid byte in a value", {"-v", "--vid=\xff\xfe"}, "0.1.0\n", "", 0}, environment);
    expectRun({"UTF-8 value", {"-v", "--format=\xc3\xa9\xe2\x86\x92%c"}, "0.1.0\n", "", 0},
              environment);
    // A value that is not exactly "short" in any decoding is still rejected.
    expectRun({"Latin-1 list value", {"--list=sh\xf6rt"}, "", kUsage, 2}, environment);
  }
}

TEST(CommandLine, UnwritableOutputFailsWithTheReason) {
  const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
  ASSERT_GE(full, 0);
  const ProcessResult result = runTool({"-v"}, currentEnvironment(), full);
  ::close(full);
  EXPECT_EQ(result.err, "ttyenum: write error: No space left on device\n");
  EXPECT_EQ(result.status, 1);
}

}  // namespace
}  // namespace ttyenum::testing
