// SPDX-License-Identifier: GPL-3.0-or-later
// Updates its own executable from the endpoint in argv[1] while it runs, then checks that it
// still runs (it reads its own, now replaced, code) and prints the result of the run.
#include <cstdio>
#include <filesystem>

#include "molt/file_filter.h"
#include "molt/molter.h"

int main(int argc, char** argv) {
  if (argc != 2) return 100;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe");
  Molt::Molter molter(self.parent_path(), {}, argv[1]);
  const Molt::FileFilter filter({Molt::EscapeForPattern(self.filename().string())}, true);
  const int result = molter.Run(&filter);
  std::printf("%d\n", result);
  return 0;
}
