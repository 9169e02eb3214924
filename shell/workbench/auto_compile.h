// SPDX-License-Identifier: GPL-3.0-or-later
// From an answer's code to a rack entry: capture, automatic compilation and the retries.
#pragma once

#include <cstddef>
#include <string>

/// Keeps the Faust code of a finished faust-mode answer as a new snippet and compiles it.
void CaptureFaust(const std::string& answer);

/// Compiles snippet `position` into the rack when automatic compilation is on; a failure
/// removes the snippet and queues a repair prompt while retries are left.
void AutoCompile(size_t position);
