// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class COPILOT_RAW;
struct COPILOT_SESSION;
