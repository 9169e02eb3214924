// SPDX-License-Identifier: GPL-3.0-or-later
// While a render runs, Ctrl+C cancels it instead of its usual meaning.
#pragma once

#include <atomic>

/// Set by Ctrl+C while a render runs.
const std::atomic<bool>& RenderCancel();
/// True while a render runs; then Ctrl+C is taken by `CancelRender`.
bool RenderRunning();
void CancelRender();

/// Marks a render as running for its lifetime.
class RenderGuard {
 public:
  RenderGuard();
  ~RenderGuard();
  RenderGuard(const RenderGuard&) = delete;
  RenderGuard& operator=(const RenderGuard&) = delete;
};
