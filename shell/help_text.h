// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

inline constexpr char kHelpText[] =
    "\x1b[36m/autocompile\x1b[0m\t\t\t set faust auto-compile mode (0,1,2 for none, auto, auto + apply)\r\n"
    "\x1b[36m/compact\x1b[0m\t\t\t Compact active session\r\n"
    "\x1b[36m/exit\x1b[0m\t\t\t\t Exit Tessary\r\n"
    "\x1b[36m/faust\x1b[0m\t\t\t\t FAUST related commands in faust mode\r\n"
    "\x1b[36m/help\x1b[0m\t\t\t\t This Message\r\n"
    "\x1b[36m/login\x1b[0m\t\t\t\t Login to Copilot\r\n"
    "\x1b[36m/logout\x1b[0m\t\t\t\t Logout from Copilot\r\n"
    "\x1b[36m/mode\x1b[0m\t\t\t\t Select current mode (chat, cmd or faust)\r\n"
    "\x1b[36m/model\x1b[0m\t\t\t\t Select current model\r\n"
    "\x1b[36m/models\x1b[0m\t\t\t\t List available models\r\n"
    "\x1b[36m/quit\x1b[0m\t\t\t\t Exit Tessary\r\n"
    "\x1b[36m/quota\x1b[0m\t\t\t\t Show Copilot Quota\r\n"
    "\x1b[36m/retries\x1b[0m\t\t\t # of retries for compilations\r\n"
    "\x1b[36m/source\x1b[0m\t\t\t\t Load/Manage audio sources in faust mode\r\n"
    "\x1b[36m/status\x1b[0m\t\t\t\t Show Copilot Status\r\n"
    "\x1b[36m/streaming\x1b[0m\t\t\t Toggle streaming (default on for chat, off for other modes).\r\n"
    "\x1b[36m/thinking\x1b[0m\t\t\t Toggle thinking display on/off\r\n"
    "\x1b[36m/vst\x1b[0m\t\t\t\t VST related commands in faust mode\r\n";
