// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "copilot/account_status.h"
#include "copilot/messages.h"

class COPILOT_RAW;
struct COPILOT_SESSION;

/// A conversation served by a local model server instead of the CLI. It lives inside its
/// COPILOT_SESSION; destroying it closes its connection and joins its thread.
class LocalConversation {
 public:
  virtual ~LocalConversation() = default;
  virtual void Send(const std::shared_ptr<PENDING_MESSAGE>& message) = 0;
  /// Stops the answer in flight; it completes with what arrived so far.
  virtual void Abort() = 0;
};

/// The models of a local server, and conversations with them. Installed once at start-up;
/// the Copilot back-end hands every model it does not list to it.
class LocalModels {
 public:
  virtual ~LocalModels() = default;
  virtual std::vector<ModelInfo> Models() = 0;
  /// A conversation with `model`, or null when the server does not have it. Its deliveries
  /// happen under `client`'s queueLock, which `Wait` takes.
  virtual std::shared_ptr<COPILOT_SESSION> Open(const std::string& model, bool streaming,
                                                std::shared_ptr<COPILOT_RAW> client) = 0;
  /// Ends every listing in progress at once and makes later ones return nothing; for the end
  /// of the program, which must not wait on a server that says nothing.
  virtual void CancelListings() {}
};

void SetLocalModels(std::shared_ptr<LocalModels> models);
std::shared_ptr<LocalModels> GetLocalModels();
