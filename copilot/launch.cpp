// SPDX-License-Identifier: GPL-3.0-or-later
// Choosing the port and the command line the CLI is started with.
#include <fstream>
#include <set>
#include <sstream>

#include "copilot/copilot_raw.h"

namespace {

// Every local port of an IPv4 TCP endpoint, in any state and of any process.
std::set<int> PortsInUse() {
  std::set<int> ports;
  std::ifstream table("/proc/net/tcp");
  std::string line;
  std::getline(table, line);  // column titles
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string slot, local;
    fields >> slot >> local;
    size_t colon = local.find(':');
    if (colon == std::string::npos) continue;
    try {
      ports.insert(std::stoi(local.substr(colon + 1), nullptr, 16));
    } catch (const std::exception&) {
    }
  }
  return ports;
}

}  // namespace

int FindFreePort(int first) {
  int candidate = first;
  // The table is read afresh for every candidate: ports come and go while we look.
  while (candidate < 65536 && PortsInUse().count(candidate)) ++candidate;
  return candidate;
}

std::vector<std::string> LaunchArguments(const std::string& exePath, const std::string& tokenName,
                                         int port, int32_t launchMode) {
  std::vector<std::string> args = {exePath, "--no-auto-update"};
  if (!tokenName.empty()) args.insert(args.end(), {"--auth-token-env", tokenName});
  if (launchMode == 0) {
    args.insert(args.end(), {"--acp", "--port", std::to_string(port), "--log-level", "info",
                             "--headless"});
  } else {
    args.insert(args.end(), {"--log-level", "all"});
  }
  return args;
}
