// SPDX-License-Identifier: GPL-3.0-or-later
// Compiled Faust effects saved as VST 3 bundles that other hosts load without Tessary.
#pragma once

#include <string>

/// Writes `code` as the bundle `target` (".vst3" is added when missing): the engine module
/// as Contents/<arch>-linux/<Name>.so, the code with every import and library written in as
/// Contents/Resources/<Name>.dsp (what the module runs: it needs libfaust and nothing else),
/// and the code as given as Contents/Resources/Source/<Name>.dsp. An existing bundle there is
/// replaced whole. Returns the bundle's path, or empty with `error` set.
std::string WriteFaustBundle(const std::string& code, const std::string& target,
                             std::string* error);

/// Whether the bundle for `target` may be written: nothing is there, or a bundle is. Checked
/// before compiling, so that a wrong name is refused at once.
bool MayWriteFaustBundle(const std::string& target, std::string* error);

/// Why the bundle at `path`, as WriteFaustBundle makes them, cannot start here when its code
/// does not compile ("its code does not compile: ..."); empty for anything else.
std::string BundleCodeProblem(const std::string& path);
