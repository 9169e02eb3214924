// SPDX-License-Identifier: GPL-3.0-or-later
// The host process's side: plug-in objects made here on request, each with an audio thread
// that serves its shared region, and the commands of wire.h answered one at a time.
#pragma once

#include <string>

#include "plexar/automation.h"
#include "plexar/remote/message.h"
#include "plexar/remote/wire.h"

namespace plexar {
class VST;
}

namespace plexar::remote {

/// What a host of compiled Faust code adds to the plug-in server.
class HostExtension {
 public:
  virtual ~HostExtension() = default;
  /// Answers an op about the host itself that the server does not know; false when this
  /// extension does not know it either.
  virtual bool Handle(Op op, MessageReader& args, MessageWriter& out, HRESULT* hr) = 0;
  /// Compiles `code`, installs it and makes a loaded plug-in object that runs it; null with
  /// the message in `*error` when it does not compile.
  virtual VST* CreateFaustInstance(const std::string& code, std::string* error) = 0;
};

/// Serves `socket` until it closes; returns the process's exit status.
int ServeHost(int socket, HostExtension* extension);

}  // namespace plexar::remote
