#include "app/command_line.h"

#include <wx/cmdline.h>
#include <wx/init.h>
#include <wx/string.h>

#include <string>
#include <vector>

#include "common/argument_text.h"

namespace ttyenum {

namespace {

const wxCmdLineEntryDesc kOptionTable[] = {
    {wxCMD_LINE_SWITCH, "h", "help", "shows help", wxCMD_LINE_VAL_STRING, 0},
    {wxCMD_LINE_OPTION, "f", "format",
     "specifies the port information output by a format string.\n"
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
     "\t\t\t%k : how the port was judged to be hardware: pnp, pci, amba, platform, spi, i2c or "
     "usb\n"
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
     "\t\t\t",
     wxCMD_LINE_VAL_STRING, 0},
    {wxCMD_LINE_SWITCH, "J", "json", "lists the ports as JSON", wxCMD_LINE_VAL_STRING, 0},
    {wxCMD_LINE_OPTION, "l", "list",
     "selects long (default) or short list output\n"
     "\t\t\tlong  : detailed output (default)\n"
     "\t\t\tshort : outputs only the port name",
     wxCMD_LINE_VAL_STRING, 0},
    {wxCMD_LINE_SWITCH, nullptr, "missing",
     "lists USB serial interfaces that have no port, and why", wxCMD_LINE_VAL_STRING, 0},
    {wxCMD_LINE_SWITCH, nullptr, "no-counting", "Suppress final display of counted ports",
     wxCMD_LINE_VAL_STRING, 0},
    {wxCMD_LINE_OPTION, nullptr, "pid", "lists only serial ports with the given product id",
     wxCMD_LINE_VAL_STRING, 0},
    {wxCMD_LINE_OPTION, nullptr, "port", "lists only the serial port whose node is the given path",
     wxCMD_LINE_VAL_STRING, 0},
    {wxCMD_LINE_SWITCH, nullptr, "prometheus", "lists the ports as Prometheus metrics",
     wxCMD_LINE_VAL_STRING, 0},
    {wxCMD_LINE_OPTION, "s", "state",
     "lists serial ports with the given state\n"
     "\t\t\texist : existing ports (default)\n"
     "\t\t\tfree  : only free (available) ports\n"
     "\t\t\tused  : only actually used ports",
     wxCMD_LINE_VAL_STRING, 0},
    {wxCMD_LINE_OPTION, nullptr, "timeout",
     "with --wait: gives up after SECONDS (such as 2 or 0.5)", wxCMD_LINE_VAL_STRING, 0},
    {wxCMD_LINE_OPTION, nullptr, "udev-rule",
     "prints a udev rule that names the one port kept /dev/NAME", wxCMD_LINE_VAL_STRING, 0},
    {wxCMD_LINE_OPTION, nullptr, "vid", "lists only serial ports with the given vendor id",
     wxCMD_LINE_VAL_STRING, 0},
    {wxCMD_LINE_SWITCH, "v", "version", "shows program version", wxCMD_LINE_VAL_STRING, 0},
    {wxCMD_LINE_SWITCH, nullptr, "wait",
     "waits until a port passes the filters, then lists as without it", wxCMD_LINE_VAL_STRING, 0},
    {wxCMD_LINE_SWITCH, "w", "watch",
     "keeps running and reports ports as they appear and disappear", wxCMD_LINE_VAL_STRING, 0},
    {wxCMD_LINE_NONE, nullptr, nullptr, nullptr, wxCMD_LINE_VAL_STRING, 0},
};

}  // namespace

class CommandLine::Impl {
 public:
  Impl(int argc, char** argv) : argc_(argc) {
    for (int i = 0; i < argc; ++i)
      arguments_.push_back(decodeArgumentText(argv[i]));
    argumentVector_ = wideArgumentVector();
    wxEntryStart(argc_, argumentVector_.data());
    // wxEntryStart may take arguments out of the vector it was given; the parser gets them all.
    argumentVector_ = wideArgumentVector();
    parser_.reset(new wxCmdLineParser(argc, argumentVector_.data()));
    parser_->SetLogo("ttyenum [options]");
    parser_->SetDesc(kOptionTable);
  }

  ~Impl() {
    parser_.reset();
    wxEntryCleanup();
  }

  bool parse() { return parser_->Parse(false) == 0; }

  OptionValues optionValues() const {
    OptionValues values;
    values.format = optionValue("f");
    values.help = parser_->Found("h");
    values.version = parser_->Found("v");
    values.json = parser_->Found("J");
    values.prometheus = parser_->Found("prometheus");
    values.watch = parser_->Found("w");
    values.wait = parser_->Found("wait");
    values.timeout = optionValue("timeout");
    values.missing = parser_->Found("missing");
    values.list = optionValue("l");
    values.noCounting = parser_->Found("no-counting");
    values.productId = optionValue("pid");
    values.state = optionValue("s");
    values.vendorId = optionValue("vid");
    values.port = optionValue("port");
    values.udevRule = optionValue("udev-rule");
    return values;
  }

  void showUsage() const { parser_->Usage(); }

 private:
  std::vector<wxChar*> wideArgumentVector() {
    std::vector<wxChar*> vector;
    for (std::wstring& argument : arguments_)
      vector.push_back(argument.data());
    vector.push_back(nullptr);
    return vector;
  }

  std::optional<std::string> optionValue(const char* name) const {
    wxString value;
    if (!parser_->Found(name, &value))
      return std::nullopt;
    return encodeArgumentText(value.ToStdWstring());
  }

  int argc_;
  std::vector<std::wstring> arguments_;
  std::vector<wxChar*> argumentVector_;
  std::unique_ptr<wxCmdLineParser> parser_;
};

CommandLine::CommandLine(int argc, char** argv) : impl_(new Impl(argc, argv)) {}
CommandLine::~CommandLine() = default;
bool CommandLine::parse() {
  return impl_->parse();
}
OptionValues CommandLine::optionValues() const {
  return impl_->optionValues();
}
void CommandLine::showUsage() const {
  impl_->showUsage();
}

}  // namespace ttyenum
