// SPDX-License-Identifier: GPL-3.0-or-later
// One compiled Faust program, shared by every plug-in instance made from it.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "plexar/vst3/base.h"

class dsp;
class llvm_dsp_factory;

namespace faust_engine {

struct Program {
  llvm_dsp_factory* factory = nullptr;
  std::string name;         // `declare name`, or the default name
  plexar::vst3::Uid cid{};  // derived from the expanded code
  int inputs = 0;
  int outputs = 0;

  Program() = default;
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;
  ~Program();

  /// A new instance of the program, or null; delete it with `DeleteInstance`.
  dsp* CreateInstance() const;
  static void DeleteInstance(dsp* instance);
};

/// libfaust keeps process-wide tables that are not safe to use from two threads at once.
std::mutex& CompilerLock();

/// Compiles Faust source; null with `error` filled when it does not compile or cannot run as
/// an effect. `defaultName` names a program whose code declares no name; imports are looked
/// up in `codeFolder` (when given) before the library folder.
std::shared_ptr<const Program> CompileProgram(const std::string& code,
                                              const std::string& defaultName, std::string* error,
                                              const std::string& codeFolder = {});

/// The code as one self-contained text, every import and library written in, which compiles
/// with libfaust alone; empty with `error` filled when the code does not compile. Code that
/// does not `declaresName` gets none, as it came.
std::string ExpandProgramCode(const std::string& code, const std::string& defaultName,
                              bool declaresName, std::string* error);

/// The Faust libraries folder of this machine (the one holding stdfaust.lib), or empty.
std::string SystemLibraryFolder();

}  // namespace faust_engine
