#pragma once

#include <string>

#include "support/fake_root.h"

namespace ttyenum::testing {

// Pieces of sysfs as the kernel lays them out, for hand-built trees. Folders are logical /sys
// paths without a trailing slash; links are relative, as the kernel writes them.

// "../" once for every component of a /sys folder, so that a link made in it reaches /sys.
std::string upToSys(const std::string& sysFolder);

std::string lastComponent(const std::string& folder);

// The folder's "subsystem" link to /sys/bus/<bus>.
void subsystem(FakeRoot& fake, const std::string& folder, const std::string& bus);

// A device with a uevent (DRIVER= first), a modalias file and its bus link.
void busDevice(FakeRoot& fake, const std::string& folder, const std::string& bus,
               const std::string& driver, const std::string& modalias);

// A device on `bus` that the device tree describes at `ofPath` (below
// /sys/firmware/devicetree/base): busDevice and its of_node link.
void deviceTreeDevice(FakeRoot& fake, const std::string& folder, const std::string& bus,
                      const std::string& driver, const std::string& modalias,
                      const std::string& ofPath);

// The folder's "of_node" link into the device tree, at `node` below /sys/firmware/devicetree/base.
void ofNode(FakeRoot& fake, const std::string& folder, const std::string& node);

// A tty over the hardware folder as captured on Debian 12 (6.1): the tty right below the device.
// Since 6.5 the serial core puts a controller "<device>:0" and a port "<device>:0.<line>" between
// them, as seen on a 6.18 machine; the tty's device link then names the port, and the ports of
// one device share its controller. Makes the class link and the /dev node.
void ttyOver(FakeRoot& fake, const std::string& hardware, const std::string& node, int line,
             bool serialCore);

// A tty without a device, as the kernel keeps virtual consoles, pseudo terminals, ttyprintk and
// the gadget side ttyGS: /sys/devices/virtual/tty/<node>, its class link and its /dev node.
void virtualTty(FakeRoot& fake, const std::string& node);

}  // namespace ttyenum::testing

namespace ttyenum::testing {

// A USB device below the xHCI controller at /sys/devices/pci0000:00/0000:00:14.0/usb1, named
// `location` (such as 1-2), with bus 1 and device number `number`, its attributes and its
// /sys/bus/usb/devices entry, and its /dev/bus/usb/001/NNN node.
void usbDeviceAt(FakeRoot& fake, const std::string& location, unsigned number,
                 const std::string& vendorId, const std::string& productId,
                 const std::string& product);

// Interface <location>:1.<number> of that device: modalias, class triple such as "02/02/01",
// bInterfaceNumber, its bus entry and, unless `driver` is empty, the driver link.
void usbInterfaceAt(FakeRoot& fake, const std::string& location, unsigned number,
                    const std::string& modalias, const std::string& classes,
                    const std::string& driver);

}  // namespace ttyenum::testing
