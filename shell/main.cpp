// SPDX-License-Identifier: GPL-3.0-or-later
#include <cstring>

#include "molt/self_update.h"
#include "shell/tessary_main.h"
#include "shell/workbench_link.h"

int main(int argc, char** argv) {
  // A plug-in host started by Tessary itself: no update, no terminal, no prompt. It is told
  // the workbench module its parent runs, which holds the host's code.
  if ((argc == 3 || argc == 4) && std::strcmp(argv[1], "--plugin-host") == 0) {
    const WorkbenchCalls* workbench = Workbench(argc == 4 ? argv[3] : "");
    return workbench ? workbench->pluginHost(argv[2]) : 2;
  }
  // Before anything else, so that no thread exists yet; the start goes on whatever happens.
  Molt::UpdateAtStart();
  return RunTessary(argc, argv);
}
