// SPDX-License-Identifier: GPL-3.0-or-later
// The main of a benchmark program that is also its own plug-in host (--plugin-host KIND).
#pragma once

#include <benchmark/benchmark.h>

#include <string>

#include "faust/engine_host.h"
#include "plexar/remote/host_process.h"

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--plugin-host") return RunPluginHost(argv[2]);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  plexar::remote::ShutdownHosts();
  return 0;
}
