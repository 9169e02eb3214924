// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "copilot/account_status.h"
#include "copilot/copilot_raw.h"

/// The models of a models.list answer; empty when any value has the wrong type.
std::vector<ModelInfo> ParseModelList(const nlohmann::json& response);

/// A fresh account snapshot from the client.
AccountStatus GetStatus(COPILOT_RAW& client);

/// The report /status shows.
std::string StatusText(const AccountStatus& status);
