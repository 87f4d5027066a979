// Extracts the USB path from arbitrary class-link texts. The extraction counts from the "/usb"
// and "/tty" matches, so this is where an index slip would read past the text; the fuzz build
// adds _GLIBCXX_ASSERTIONS so that even a read inside the string's spare capacity traps.
#include <cstddef>
#include <cstdint>
#include <string>

#include "discovery/usb_port_probe.h"

namespace {

void check(bool condition) {
  if (!condition)
    __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string linkText(reinterpret_cast<const char*>(data), size);
  std::string usbPath = "untouched";
  if (!ttyenum::usbPathFromLinkText(linkText, usbPath)) {
    check(usbPath == "untouched");
    return 0;
  }
  check(linkText.find("/usb") != std::string::npos);
  check(linkText.find("/tty") != std::string::npos);
  check(linkText.find(usbPath) != std::string::npos);

  const std::string device = ttyenum::owningUsbDevice(usbPath);
  check(device.find('/') == std::string::npos && device.find(':') == std::string::npos);
  check(device.empty() || usbPath.find(device) != std::string::npos);
  return 0;
}
