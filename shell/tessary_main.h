// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// The whole program: start-up, the prompt loop and shutdown. Returns the exit code.
int RunTessary(int argc, char** argv);
