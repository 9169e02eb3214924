// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

namespace Molt {

/// The update endpoint: $TESSARY_UPDATE_URL, else the one built in; nothing with neither.
std::optional<std::string> ConfiguredEndpoint();

/// Brings the running executable up to date from the update server, once, at start: with
/// the executable's own name as the only file, and not under a debugger, whose breakpoints
/// a changed file would upset. Says nothing unless TESSARY_DEBUG is set; the start goes on
/// whatever happens. The result of the run, or nothing when it did not run.
std::optional<int> UpdateAtStart();

}  // namespace Molt
