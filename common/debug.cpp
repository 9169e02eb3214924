// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/debug.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace common {

void DebugLine(std::string_view text) {
  if (!std::getenv("TESSARY_DEBUG")) return;
  std::string line(text);
  line += "\n";
  std::fputs(line.c_str(), stderr);
}

}  // namespace common
