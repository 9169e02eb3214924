// SPDX-License-Identifier: GPL-3.0-or-later
// The workbench's process-wide lists and their lock. Numbers the user types name positions
// by one rule everywhere: N names position N - 1, and 0 names the first entry too.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct VST;
struct AUDIO_IN;

/// Guards the snippets while an answer's code is added, the rack and every source's chain.
/// Recursive: capturing code holds it while the automatic compilation adds to the rack.
extern std::recursive_mutex workbenchLock;

/// Faust snippets in order of arrival, as bytes.
extern std::vector<std::string> fausts;
/// The rack.
extern std::vector<std::shared_ptr<VST>> vsts;
/// Audio sources in order of loading.
extern std::vector<std::shared_ptr<AUDIO_IN>> sources;
/// The folder holding the Faust libraries under `libs`, once the engine has reported it.
extern std::string faustFolder;

/// Unloads every rack entry while the libraries their plug-ins use are still there; the
/// process-wide lists would otherwise be destroyed after them at exit.
void ReleaseWorkbench();

/// The position a typed number names among `count` entries, or nothing when it names none.
/// The number is read as C's atoi reads it.
std::optional<size_t> WorkbenchIndex(const std::string& word, size_t count);

/// The code of an answer's first ```faust block, or nothing when it has no complete one.
std::optional<std::string> ExtractFaustCode(const std::string& answer);
