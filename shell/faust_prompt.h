// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

/// Set once the Faust engine has reported the folder of its libraries.
extern std::string faustFolder;

/// The first prompt of every faust-mode conversation.
std::string FaustPrompt();
