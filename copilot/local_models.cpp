// SPDX-License-Identifier: GPL-3.0-or-later
#include "copilot/local_models.h"

#include <atomic>

namespace {

std::atomic<std::shared_ptr<LocalModels>> installed;

}  // namespace

void SetLocalModels(std::shared_ptr<LocalModels> models) { installed.store(std::move(models)); }
std::shared_ptr<LocalModels> GetLocalModels() { return installed.load(); }
