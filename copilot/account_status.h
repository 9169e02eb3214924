// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <map>
#include <string>
#include <vector>

/// One entry of the model list, from Copilot or from a local Ollama server.
struct ModelInfo {
  std::string id;
  std::string name;
  bool vision = false;
  std::vector<std::string> supportedMediaTypes;
  std::vector<std::string> supportedReasoningEfforts;
  int maxPromptTokens = 0;
  int maxContextWindowTokens = 0;
  int maxPromptImages = 0;
  int maxPromptImageSize = 0;
  std::string adaptiveThinking;
  bool toolCalls = false;
  bool supportsReasoningEffort = false;
  bool structuredOutputs = false;
  bool supportsStreaming = true;
  std::string policyTerms;
  int inputPrice = 0;
  int outputPrice = 0;
  int cachePrice = 0;
  int batchSize = 0;
  int contentMax = 0;
  bool isOllama = false;
};

/// One quota snapshot of the account.
struct QuotaInfo {
  int entitlementRequests = 0;
  int usedRequests = 0;
  float remainingPercentage = 0;
  int overage = 0;
  bool overageAllowedWithExhaustedQuota = false;
  std::string resetDate;
};

/// The account snapshot taken when the back-end starts.
struct AccountStatus {
  bool installed = false;
  std::string path;
  bool connected = false;
  bool isAuthenticated = false;
  std::string problem;  // why the CLI cannot be used or asked; empty when nothing is known
  std::map<std::string, QuotaInfo> quotas;
  std::vector<ModelInfo> models;
};
