// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/control_signals.h"

/// Decides what Ctrl+C, Ctrl+\ and the end of the terminal do. Returns false when the process
/// should end.
bool OnConsoleControl(platform::ControlEvent event);
