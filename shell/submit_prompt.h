// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "shell/prompt.h"

/// Follow-up prompts that ask the model to repair code that did not compile, sent one after
/// another once an answer is done.
extern std::vector<std::string> retryPrompts;

/// Opens a conversation for the session when none is open, sending the mode's system prompt.
void EnsureConversation();

/// Sends a typed line to the model and shows the answer; refuses while nobody is signed in.
void SubmitPrompt(const std::string& line, PromptState state);

/// The streaming callbacks: grey reasoning, green answer text.
int32_t OnReasoningPiece(std::string& text, uint64_t userData);
int32_t OnAnswerPiece(std::string& text, uint64_t userData);

/// Deletes the open conversation at the back-end and forgets it.
void DropConversation();

/// Asks the back-end to stop the answer being awaited (from the control thread).
void AbortRunningPrompt();

/// Ends a loop of repair prompts, aborting the answer in flight (from the control thread);
/// false when no repairs are under way.
bool StopRepairs();
