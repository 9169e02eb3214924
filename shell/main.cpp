// SPDX-License-Identifier: GPL-3.0-or-later
#include "molt/self_update.h"
#include "shell/tessary_main.h"

int main(int argc, char** argv) {
  // Before anything else, so that no thread exists yet; the start goes on whatever happens.
  Molt::UpdateAtStart();
  return RunTessary(argc, argv);
}
