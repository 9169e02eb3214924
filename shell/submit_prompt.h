// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "shell/prompt.h"

/// Sends a typed line to the model and shows the answer; refuses while nobody is signed in.
void SubmitPrompt(const std::string& line, PromptState state);
