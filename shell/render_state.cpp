// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/render_state.h"

namespace {

std::atomic<bool> running{false};
std::atomic<bool> cancel{false};

}  // namespace

const std::atomic<bool>& RenderCancel() { return cancel; }
bool RenderRunning() { return running.load(); }
void CancelRender() { cancel.store(true); }

RenderGuard::RenderGuard() {
  cancel.store(false);
  running.store(true);
}

RenderGuard::~RenderGuard() { running.store(false); }
