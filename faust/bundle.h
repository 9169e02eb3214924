// SPDX-License-Identifier: GPL-3.0-or-later
// Compiled Faust effects saved as VST 3 bundles that other hosts load without Tessary.
#pragma once

#include <string>

/// Writes `code` as the bundle `target` (".vst3" is added when missing): the engine module
/// as Contents/<arch>-linux/<Name>.so and the code, its libraries written in, under
/// Contents/Resources. An existing bundle there is replaced whole. Returns the bundle's path,
/// or empty with `error` set.
std::string WriteFaustBundle(const std::string& code, const std::string& target,
                             std::string* error);

/// Whether the bundle for `target` may be written: nothing is there, or a bundle is. Checked
/// before compiling, so that a wrong name is refused at once.
bool MayWriteFaustBundle(const std::string& target, std::string* error);
