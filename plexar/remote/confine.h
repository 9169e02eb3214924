// SPDX-License-Identifier: GPL-3.0-or-later
// The rights a host process gives up before it runs code it did not write.
#pragma once

#include <string>
#include <vector>

#include "plexar/remote/host_process.h"

namespace plexar::remote {

struct Confinement {
  /// Files and folders the process may still read (and map to run); empty leaves the file
  /// system as it is. Everything else, and every write, is refused where the kernel has
  /// Landlock.
  std::vector<std::string> readable;
  /// A cap on the process's private memory, in bytes; 0 for none.
  size_t memoryBytes = 0;
  /// No new programs: the engine host never needs one.
  bool noExec = false;
};

/// Always: no network but local sockets, no signals or tracing of other processes, no core
/// files. Then what `rules` add. Says under TESSARY_DEBUG what the kernel could not do.
void Confine(const Confinement& rules);

}  // namespace plexar::remote
