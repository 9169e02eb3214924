// SPDX-License-Identifier: GPL-3.0-or-later
// The editor's way to the plug-in object's notifications and fields.
#pragma once

#include <string>

#include "plexar/vst.h"

namespace plexar::editor {

struct EditorAccess {
  static void StateChanged(VST* object) { object->NotifyStateChanged(1); }
  static void Command(VST* object, int32_t command) { object->NotifyCommand(command); }
  static std::string ProductUrl(VST* object) { return object->productUrl; }
};

}  // namespace plexar::editor
