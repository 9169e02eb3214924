// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

#include "shell/command_result.h"

// The handlers behind the dispatcher's rows. Each gets the whole line and its words.
using Words = std::vector<std::string>;

CommandResult ChangeDirectory(const std::string& line, const Words& words);
CommandResult ClearScreen(const std::string& line, const Words& words);
CommandResult DisableSkill(const std::string& line, const Words& words);
CommandResult AddSkillFolder(const std::string& line, const Words& words);
CommandResult PrintHelp(const std::string& line, const Words& words);
CommandResult SelectMode(const std::string& line, const Words& words);
CommandResult SetRetries(const std::string& line, const Words& words);
CommandResult SetAutoCompile(const std::string& line, const Words& words);
CommandResult ToggleStreaming(const std::string& line, const Words& words);
CommandResult ToggleThinking(const std::string& line, const Words& words);
CommandResult SelectModel(const std::string& line, const Words& words);
CommandResult ListModels(const std::string& line, const Words& words);
CommandResult PrintQuota(const std::string& line, const Words& words);
CommandResult CompactConversation(const std::string& line, const Words& words);
CommandResult ShowStatusDialog(const std::string& line, const Words& words);
CommandResult FaustCommand(const std::string& line, const Words& words);
CommandResult VstCommand(const std::string& line, const Words& words);
CommandResult SourceCommand(const std::string& line, const Words& words);
CommandResult SignIn(const std::string& line, const Words& words);
CommandResult SignOut(const std::string& line, const Words& words);
