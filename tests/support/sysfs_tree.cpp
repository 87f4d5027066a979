#include "support/sysfs_tree.h"

#include <cstdio>
#include <filesystem>

namespace ttyenum::testing {

std::string upToSys(const std::string& sysFolder) {
  std::string up;
  for (size_t at = sysFolder.find('/', 1); at != std::string::npos;
       at = sysFolder.find('/', at + 1))
    up += "../";
  return up;
}

std::string lastComponent(const std::string& folder) {
  return folder.substr(folder.rfind('/') + 1);
}

void subsystem(FakeRoot& fake, const std::string& folder, const std::string& bus) {
  fake.link(folder + "/subsystem", upToSys(folder) + "bus/" + bus);
}

void busDevice(FakeRoot& fake, const std::string& folder, const std::string& bus,
               const std::string& driver, const std::string& modalias) {
  fake.file(folder + "/uevent", "DRIVER=" + driver + "\nMODALIAS=" + modalias + "\n");
  fake.file(folder + "/modalias", modalias + "\n");
  fake.file(folder + "/driver_override", "(null)\n");
  subsystem(fake, folder, bus);
}

void ofNode(FakeRoot& fake, const std::string& folder, const std::string& node) {
  fake.link(folder + "/of_node", upToSys(folder) + "firmware/devicetree/base/" + node);
}

void deviceTreeDevice(FakeRoot& fake, const std::string& folder, const std::string& bus,
                      const std::string& driver, const std::string& modalias,
                      const std::string& ofPath) {
  busDevice(fake, folder, bus, driver, modalias);
  ofNode(fake, folder, ofPath);
}

void ttyOver(FakeRoot& fake, const std::string& hardware, const std::string& node, int line,
             bool serialCore) {
  std::string device = hardware;
  if (serialCore) {
    const std::string controller = hardware + "/" + lastComponent(hardware) + ":0";
    if (!std::filesystem::is_symlink(fake.path(controller + "/subsystem"))) {  // its first port
      fake.file(controller + "/uevent", "DEVTYPE=ctrl\nDRIVER=ctrl\n");
      subsystem(fake, controller, "serial-base");
    }
    device = controller + "/" + lastComponent(controller) + "." + std::to_string(line);
    fake.file(device + "/uevent", "DEVTYPE=port\nDRIVER=port\n");
    subsystem(fake, device, "serial-base");
  }
  const std::string ttyFolder = device + "/tty/" + node;
  fake.file(ttyFolder + "/dev", "4:" + std::to_string(64 + line) + "\n");
  fake.file(ttyFolder + "/uevent",
            "MAJOR=4\nMINOR=" + std::to_string(64 + line) + "\nDEVNAME=" + node + "\n");
  fake.link(ttyFolder + "/device", "../../../" + lastComponent(device));
  fake.link(ttyFolder + "/subsystem", upToSys(ttyFolder) + "class/tty");
  fake.link("/sys/class/tty/" + node, "../.." + ttyFolder.substr(4));
  fake.node(node);
}

void virtualTty(FakeRoot& fake, const std::string& node) {
  const std::string folder = "/sys/devices/virtual/tty/" + node;
  fake.file(folder + "/dev", "5:3\n");
  fake.file(folder + "/uevent", "MAJOR=5\nMINOR=3\nDEVNAME=" + node + "\n");
  fake.link(folder + "/subsystem", "../../../../class/tty");
  fake.link("/sys/class/tty/" + node, "../../devices/virtual/tty/" + node);
  fake.node(node);
}

namespace {

constexpr char kUsbBus[] = "/sys/devices/pci0000:00/0000:00:14.0/usb1";

void busEntry(FakeRoot& fake, const std::string& folder) {
  fake.link("/sys/bus/usb/devices/" + lastComponent(folder), "../../.." + folder.substr(4));
}

}  // namespace

void usbDeviceAt(FakeRoot& fake, const std::string& location, unsigned number,
                 const std::string& vendorId, const std::string& productId,
                 const std::string& product) {
  const std::string folder = std::string(kUsbBus) + "/" + location;
  char node[32];
  std::snprintf(node, sizeof node, "bus/usb/001/%03u", number);
  for (const auto& [name, text] : {std::pair<std::string, std::string>{"idVendor", vendorId},
                                   {"idProduct", productId},
                                   {"product", product},
                                   {"manufacturer", "Maker"},
                                   {"serial", "S" + std::to_string(number)},
                                   {"busnum", "1"},
                                   {"devnum", std::to_string(number)}})
    fake.file(folder + "/" + name, text + "\n");
  fake.file(folder + "/uevent",
            std::string("DEVTYPE=usb_device\nDRIVER=usb\nDEVNAME=") + node + "\n");
  busEntry(fake, folder);
  fake.node(node);
}

void usbInterfaceAt(FakeRoot& fake, const std::string& location, unsigned number,
                    const std::string& modalias, const std::string& classes,
                    const std::string& driver) {
  const std::string name = location + ":1." + std::to_string(number);
  const std::string folder = std::string(kUsbBus) + "/" + location + "/" + name;
  fake.file(folder + "/modalias", modalias + "\n");
  fake.file(folder + "/bInterfaceClass", classes.substr(0, 2) + "\n");
  fake.file(folder + "/bInterfaceSubClass", classes.substr(3, 2) + "\n");
  fake.file(folder + "/bInterfaceProtocol", classes.substr(6, 2) + "\n");
  fake.file(folder + "/bInterfaceNumber", "0" + std::to_string(number) + "\n");
  busEntry(fake, folder);
  if (!driver.empty())
    fake.link(folder + "/driver", upToSys(folder) + "bus/usb/drivers/" + driver);
}

}  // namespace ttyenum::testing
