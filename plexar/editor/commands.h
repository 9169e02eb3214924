// SPDX-License-Identifier: GPL-3.0-or-later
// Command ids of the editor frame's menu and of `FileCmd`.
#pragma once

#include <cstdint>

namespace plexar::editor {

inline constexpr uint32_t kProgramFirst = 7001;   // + program index, up to 8000
inline constexpr uint32_t kProgramLast = 8000;
inline constexpr uint32_t kUnitFirst = 8001;      // + unit index, up to 9000
inline constexpr uint32_t kUnitLast = 9000;
inline constexpr uint32_t kAbout = 11000;
inline constexpr uint32_t kHelp = 11001;
inline constexpr uint32_t kTopMost = 11500;
inline constexpr uint32_t kProgramMenu = 11501;
inline constexpr uint32_t kStateSave = 11502;
inline constexpr uint32_t kStateLoad = 11503;
inline constexpr uint32_t kBypass = 11505;
inline constexpr uint32_t kSilence = 11506;
inline constexpr uint32_t kParameters = 11507;
inline constexpr uint32_t kUnitMenu = 11508;
inline constexpr uint32_t kPianoRoll = 11509;
inline constexpr uint32_t kPickAutomation = 11516;
inline constexpr uint32_t kPickAutomationGui = 11517;
inline constexpr uint32_t kDataView = 11519;
inline constexpr uint32_t kTestRun = 11599;

}  // namespace plexar::editor
