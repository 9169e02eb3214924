// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "platform/line_editor.h"

/// Starts the back-end on its own thread: unpacks the CLI, launches and connects it, takes
/// the account snapshot, then asks the editor to redraw the prompt in its new colour.
void StartBackendThread(const std::string& tokenOption, platform::LineEditor* editor);

/// Starts the back-end again with the token option and editor of the first start.
void RestartBackendThread();

/// Waits for every start-up thread; called once the prompt loop has ended.
void JoinBackendThreads();

/// Replaces this process with the interactive CLI in the same terminal. Returns only when that
/// failed, with the exit code to use.
int RunInteractiveCli(const std::string& tokenOption);

/// The token the back-end starts with: the option when given, else the stored one.
std::string ChooseToken(const std::string& tokenOption);
