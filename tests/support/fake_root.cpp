#include "support/fake_root.h"

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace ttyenum::testing {

FakeRoot::FakeRoot() {
  std::string templ = (fs::temp_directory_path() / "ttyenum-root-XXXXXX").string();
  if (::mkdtemp(templ.data()) == nullptr)
    throw std::runtime_error("mkdtemp failed");
  folder_ = templ;
}

FakeRoot::~FakeRoot() {
  std::error_code ignored;
  // Tests may have taken permissions away; give them back so the tree can go.
  for (auto it = fs::recursive_directory_iterator(folder_, ignored);
       it != fs::recursive_directory_iterator(); it.increment(ignored)) {
    if (!it->is_symlink(ignored) && it->is_directory(ignored)) {
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
  }
  fs::remove_all(folder_, ignored);
}

void FakeRoot::folder(const std::string& logicalPath) {
  fs::create_directories(path(logicalPath));
}

void FakeRoot::file(const std::string& logicalPath, const std::string& text) {
  fs::create_directories(fs::path(path(logicalPath)).parent_path());
  std::ofstream out(path(logicalPath), std::ios::binary | std::ios::trunc);
  out << text;
  if (!out)
    throw std::runtime_error("cannot write " + logicalPath);
}

void FakeRoot::link(const std::string& logicalPath, const std::string& target) {
  fs::create_directories(fs::path(path(logicalPath)).parent_path());
  fs::create_symlink(target, path(logicalPath));
}

void FakeRoot::node(const std::string& name) {
  file("/dev/" + name, "");
}

void FakeRoot::unpackFixture(const std::string& name) {
  const std::string command = "tar -xzf '" TTYENUM_FIXTURES_DIR "/" + name +
                              ".tar.gz' --strip-components=1 -C '" + folder_ + "'";
  if (std::system(command.c_str()) != 0)
    throw std::runtime_error("cannot unpack " + name);
}

PortInfo ftdiPort(const std::string& portName, bool inUse) {
  PortInfo port;
  port.portName = portName;
  port.serialNumber = "A50285BI";
  port.product = "FT232R USB UART";
  port.driver = "ftdi_sio";
  port.manufacturer = "FTDI";
  port.vendorId = "0403";
  port.productId = "6001";
  port.version = " 6.00";
  port.inUse = inUse;
  return port;
}

std::string recordText(const PortInfo& port) {
  return port.portName + " serialNumber='" + port.serialNumber + "' product='" + port.product +
         "' driver='" + port.driver + "' manufacturer='" + port.manufacturer + "' vendorId='" +
         port.vendorId + "' productId='" + port.productId + "' version='" + port.version +
         "' inUse=" + (port.inUse ? "true" : "false");
}

}  // namespace ttyenum::testing
