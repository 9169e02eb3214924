// SPDX-License-Identifier: GPL-3.0-or-later
#include <cstring>

#include "faust/engine_host.h"
#include "molt/self_update.h"
#include "shell/tessary_main.h"

int main(int argc, char** argv) {
  // A plug-in host started by Tessary itself: no update, no terminal, no prompt.
  if (argc == 3 && std::strcmp(argv[1], "--plugin-host") == 0) return RunPluginHost(argv[2]);
  // Before anything else, so that no thread exists yet; the start goes on whatever happens.
  Molt::UpdateAtStart();
  return RunTessary(argc, argv);
}
