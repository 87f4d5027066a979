#include "blackbox/tool_run.h"

#include <stdlib.h>
#include <unistd.h>

namespace ttyenum::testing {

ProcessResult runTool(const std::vector<std::string>& args,
                      const std::vector<std::string>& environment, int stdoutFd) {
  std::vector<std::string> argv = {TTYENUM_BINARY};
  argv.insert(argv.end(), args.begin(), args.end());
  return runProcess(argv, environment, stdoutFd);
}

namespace {

std::vector<std::string> namespaceCommand(const FakeRoot& fake,
                                          const std::vector<std::string>& command,
                                          const std::vector<std::string>& heldNodes) {
  std::vector<std::string> argv = {"/bin/bash", TTYENUM_NAMESPACE_SCRIPT};
  for (const std::string& node : heldNodes) {
    argv.push_back(node.find('=') == std::string::npos ? "--hold" : "--hold-as");
    argv.push_back(node);
  }
  argv.push_back(fake.folder());
  argv.insert(argv.end(), command.begin(), command.end());
  return argv;
}

}  // namespace

ProcessResult runToolInFakeRoot(const FakeRoot& fake, const std::vector<std::string>& args,
                                const std::vector<std::string>& heldNodes,
                                const std::vector<std::string>& environment) {
  std::vector<std::string> command = {TTYENUM_BINARY};
  command.insert(command.end(), args.begin(), args.end());
  return runProcess(namespaceCommand(fake, command, heldNodes), environment);
}

ProcessResult runInFakeRoot(const FakeRoot& fake, const std::vector<std::string>& command,
                            const std::vector<std::string>& heldNodes) {
  return runProcess(namespaceCommand(fake, command, heldNodes), currentEnvironment());
}

void addQemuStableLinks(FakeRoot& fake) {
  fake.link("/dev/serial/by-id/usb-QEMU_QEMU_USB_SERIAL_1-0000:00:05.0-1-if00-port0",
            "../../ttyUSB0");
  fake.link("/dev/serial/by-id/usb-QEMU_QEMU_USB_SERIAL_LAB-FTDI-0002-if00-port0", "../../ttyUSB1");
  fake.link("/dev/serial/by-path/pci-0000:00:05.0-usb-0:1:1.0-port0", "../../ttyUSB0");
  fake.link("/dev/serial/by-path/pci-0000:00:05.0-usb-0:2.1:1.0-port0", "./../../ttyUSB1");
  fake.link("/dev/serial/by-id/usb-Linux_Gadget_Serial_v2.4_LAB-ACM-0001-if00", "../../ttyACM0");
  fake.link("/dev/serial/by-id/stale-link-to-ttyUSB10", "../../ttyUSB10");
}

void addQemuUsbAdapter(FakeRoot& fake, const std::string& tty, const std::string& device,
                       const std::string& vendorId) {
  const std::string usb = kQemuUsbBus + device;
  const std::string interface = device + ":1.0";
  fake.file(usb + "/idVendor", vendorId + "\n");
  fake.file(usb + "/idProduct", "6001\n");
  fake.file(usb + "/manufacturer", "FTDI\n");
  fake.file(usb + "/product", "FT232R USB UART\n");
  fake.file(usb + "/serial", "SERIAL-" + tty + "\n");
  fake.file(usb + "/version", " 2.00\n");
  fake.file(usb + "/" + interface + "/bInterfaceNumber", "00\n");
  fake.file(usb + "/" + interface + "/" + tty + "/uevent", "DRIVER=ftdi_sio\n");
  fake.link(usb + "/" + interface + "/" + tty + "/tty/" + tty + "/device", "../../../" + tty);
  fake.link("/sys/bus/usb/devices/" + device, "../../.." + usb.substr(4));
  fake.link("/sys/bus/usb/devices/" + interface, "../../.." + usb.substr(4) + "/" + interface);
  fake.link("/sys/class/tty/" + tty,
            "../.." + usb.substr(4) + "/" + interface + "/" + tty + "/tty/" + tty);
}

bool underCi() {
  const char* ci = ::getenv("CI");
  return ci != nullptr && *ci != '\0';
}

std::unique_ptr<BackgroundProcess> startToolInFakeRoot(const FakeRoot& fake,
                                                       const std::vector<std::string>& args) {
  std::vector<std::string> argv = {"/bin/bash", TTYENUM_NAMESPACE_SCRIPT, fake.folder(),
                                   TTYENUM_BINARY};
  argv.insert(argv.end(), args.begin(), args.end());
  return std::make_unique<BackgroundProcess>(argv, currentEnvironment());
}

pid_t toolPid(const BackgroundProcess& run) {
  const auto isTool = [](pid_t pid) {
    char target[4096];
    const std::string exe = "/proc/" + std::to_string(pid) + "/exe";
    const ssize_t length = ::readlink(exe.c_str(), target, sizeof target);
    return length > 0 && std::string(target, static_cast<size_t>(length)) == TTYENUM_BINARY;
  };
  return findDescendant(run.pid(), isTool, 5000);
}

const std::string& namespaceUnavailableReason() {
  static const std::string reason = [] {
    FakeRoot empty;
    empty.folder("/sys");
    empty.folder("/dev");
    const ProcessResult probe = runProcess(
        {"/bin/bash", TTYENUM_NAMESPACE_SCRIPT, empty.folder(), "/bin/true"}, currentEnvironment());
    if (probe.status == 0)
      return std::string();
    return "namespace runs are not possible here (status " + std::to_string(probe.status) +
           "): " + probe.err;
  }();
  return reason;
}

void FakeRootRun::SetUp() {
  const std::string& reason = namespaceUnavailableReason();
  if (reason.empty())
    return;
  if (underCi())
    FAIL() << reason << "CI is set, so these tests must run.";
  GTEST_SKIP() << reason;
}

}  // namespace ttyenum::testing
