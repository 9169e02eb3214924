// SPDX-License-Identifier: GPL-3.0-or-later
// molt-update FOLDER NAME ENDPOINT [HASH_STORE]: one update run of FOLDER/NAME, as tessary
// makes it at start (with its hash store when given); prints "result bytes seconds" for
// update_vs_rsync.sh.
#include <chrono>
#include <cstdio>
#include <string>

#include "molt/file_filter.h"
#include "molt/molter.h"

int main(int argc, char** argv) {
  if (argc != 4 && argc != 5) {
    std::fprintf(stderr, "usage: molt-update FOLDER NAME ENDPOINT [HASH_STORE]\n");
    return 2;
  }
  const auto start = std::chrono::steady_clock::now();
  Molt::Molter molter(argv[1], {}, argv[3]);
  if (argc == 5) molter.hashStore = argv[4];
  const Molt::FileFilter filter({Molt::EscapeForPattern(argv[2])}, true);
  const int result = molter.Run(&filter);
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  std::printf("%d %llu %.3f\n", result, static_cast<unsigned long long>(molter.received),
              took.count());
  return 0;
}
