// SPDX-License-Identifier: GPL-3.0-or-later
// The benchmark effects as the faust command compiles them to C++, built with g++ -O3
// -march=native: the anchor the engine's own code is measured against.
#pragma once

#include <memory>
#include <string>

class dsp;

/// "zita", "djembe" or "filterbank"; null for another name.
std::unique_ptr<dsp> NativeEffect(const std::string& name);
