// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

enum class PromptState { Unknown, SignedIn, SignedOut };

/// From whether the status has been read yet and whether it says signed in.
PromptState CurrentPromptState();

/// "[AI] folder> " in the colour of the state.
std::string BuildPrompt(PromptState state, const std::string& folder);

/// The start-up line naming the mode.
std::string BannerText(int32_t mode);
