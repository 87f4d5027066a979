#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "blackbox/process_run.h"
#include "support/fake_root.h"

namespace ttyenum::testing {

// Runs the built ttyenum with `args` (argv[0] is added).
ProcessResult runTool(const std::vector<std::string>& args,
                      const std::vector<std::string>& environment = currentEnvironment(),
                      int stdoutFd = -1);

// Runs the built ttyenum inside a private mount and PID namespace where the fake tree's sys/
// and dev/ stand for /sys and /dev. Each node in `heldNodes` (e.g. /dev/ttyUSB0) is held open
// by a process started inside the namespace while the tool runs; an entry NAME=MAJOR:MINOR is
// held as a character device /dev/NAME with those numbers, made in a mount namespace of the
// holder's own, as a container holds a device passed in under another name.
ProcessResult runToolInFakeRoot(const FakeRoot& fake, const std::vector<std::string>& args,
                                const std::vector<std::string>& heldNodes = {},
                                const std::vector<std::string>& environment = currentEnvironment());

// Runs `command` (its first word a program path) in the same namespace as runToolInFakeRoot.
ProcessResult runInFakeRoot(const FakeRoot& fake, const std::vector<std::string>& command,
                            const std::vector<std::string>& heldNodes = {});

// Adds to the captured Debian 12 tree the /dev/serial links that udev makes for it, relative
// from their folder as udev writes them, and one stale by-id link to a node that is gone.
void addQemuStableLinks(FakeRoot& fake);

// The sysfs folder of the captured Debian 12 tree's USB bus 1, with its trailing slash.
inline constexpr char kQemuUsbBus[] = "/sys/devices/pci0000:00/0000:00:05.0/usb1/";

// Adds to the captured Debian 12 tree the sysfs entries of a one-port adapter on bus 1, USB
// device `device` (such as 1-3), as the kernel makes them before the port's /dev node, which is
// left to the test.
void addQemuUsbAdapter(FakeRoot& fake, const std::string& tty, const std::string& device,
                       const std::string& vendorId = "0403");

// True when CI is set: there, what a test needs must be present, and nothing may skip.
bool underCi();

// Starts the built ttyenum like runToolInFakeRoot, but in the background: the test reads its
// lines while it runs and changes the fake tree, which the namespace sees through the binds.
std::unique_ptr<BackgroundProcess> startToolInFakeRoot(const FakeRoot& fake,
                                                       const std::vector<std::string>& args);

// The host's id of the ttyenum process that `run` started (inside its namespaces); -1 when it
// cannot be found within five seconds.
pid_t toolPid(const BackgroundProcess& run);

// Why namespace runs are impossible here, or empty text when they work. Checked once.
const std::string& namespaceUnavailableReason();

// Base of the tests that run the tool in a fake tree: they skip, saying why, where namespaces
// or bind mounts are not permitted, but fail under CI, where they must run.
class FakeRootRun : public ::testing::Test {
 protected:
  void SetUp() override;
};

}  // namespace ttyenum::testing
