// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>


/// The first prompt of every faust-mode conversation.
std::string FaustPrompt();
