// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/line_editor.h"

/// Reads and handles lines until "/exit", "/quit" or the end of a non-terminal input.
void RunPromptLoop(platform::LineEditor& editor);
