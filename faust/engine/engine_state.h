// SPDX-License-Identifier: GPL-3.0-or-later
// What the module holds between calls: the program installed last and, when this copy of
// the module sits in a saved bundle, the bundle's own program.
#pragma once

#include <memory>
#include <string>

#include "faust/engine/program.h"

namespace faust_engine {

/// The program new plug-in instances run: the bundle's, else the one installed last; null
/// means stereo pass-through.
std::shared_ptr<const Program> CurrentProgram();
void InstallProgram(std::shared_ptr<const Program> program);

/// True when this module file is the binary of a saved bundle (a `.dsp` file in the bundle's
/// Contents/Resources); then only that program is offered.
bool IsBundle();

/// The path of this module file.
std::string ModuleFile();

/// Balanced calls from hosts; the installed program is let go when the last host leaves.
void EnterModule();
void ExitModule();

}  // namespace faust_engine
