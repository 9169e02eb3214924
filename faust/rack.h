// SPDX-License-Identifier: GPL-3.0-or-later
// One rack entry and the loading of a plug-in into it.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "plexar/records.h"

namespace plexar {
class VST;
}

/// A loaded plug-in, shared between the rack and the chains of the sources that use it.
struct VST {
  std::string file;  // the module loaded; for compiled snippets the engine module
  void** inputs = nullptr;
  void** outputs = nullptr;
  plexar::VST* plugin = nullptr;
  std::string name;
  std::string vendor;
  std::vector<plexar::ParameterRecord> params;
  int32_t numInputs = 0;
  int32_t numOutputs = 0;
  int32_t numEventInputs = 0;
  int32_t numEventOutputs = 0;
  std::string code;   // the Faust code compiled into this entry; empty for plug-in files
  std::string error;  // the compiler's message from the last failed compilation
  // One block at a time through the plug-in and its buffers: an entry can be in several
  // chains, and chains run outside `workbenchLock` so that a plug-in that hangs holds up only
  // the sources that use it.
  std::mutex processLock;

  VST() = default;
  VST(const VST&) = delete;
  VST& operator=(const VST&) = delete;
  ~VST();
};

/// Loads a plug-in into `record`: with `useEngine`, the Faust engine compiles `faustCode` and
/// the record runs it; otherwise the plug-in file `record.file` is loaded. Prints the plug-in's
/// banner and parameters on success, the compiler's message on a compilation error.
bool LoadVst(VST& record, bool useEngine);

/// A second instance of `original`'s plug-in or compiled code, loaded the same way and given
/// its program, state and parameter values through the plug-in interface alone, so that it can
/// run beside the original without disturbing it. Prints nothing; null with `error` set when
/// no second instance can be had. Loads outside `workbenchLock` and copies under it.
std::shared_ptr<VST> LoadCopy(const VST& original, std::string* error);
