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

ProcessResult runToolInFakeRoot(const FakeRoot& fake, const std::vector<std::string>& args,
                                const std::vector<std::string>& heldNodes,
                                const std::vector<std::string>& environment) {
  std::vector<std::string> argv = {"/bin/bash", TTYENUM_NAMESPACE_SCRIPT};
  for (const std::string& node : heldNodes) {
    argv.push_back(node.find('=') == std::string::npos ? "--hold" : "--hold-as");
    argv.push_back(node);
  }
  argv.push_back(fake.folder());
  argv.push_back(TTYENUM_BINARY);
  argv.insert(argv.end(), args.begin(), args.end());
  return runProcess(argv, environment);
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
  const char* ci = ::getenv("CI");
  if (ci != nullptr && *ci != '\0')
    FAIL() << reason << "CI is set, so these tests must run.";
  GTEST_SKIP() << reason;
}

}  // namespace ttyenum::testing
