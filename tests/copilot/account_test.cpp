// SPDX-License-Identifier: GPL-3.0-or-later
#include "copilot/account.h"

#include <gtest/gtest.h>

namespace {

using nlohmann::json;

json Models(json list) { return {{"result", {{"models", list}}}}; }

TEST(ModelListTest, ReadsEveryFieldOfAFullEntry) {
  json entry = {
      {"id", "gpt-x"}, {"name", "GPT X"},
      {"supportedReasoningEfforts", {"low", "high"}},
      {"capabilities",
       {{"limits", {{"max_prompt_tokens", 1000}, {"max_context_window_tokens", 2000.7},
                    {"vision", {{"supported_media_types", {"image/png"}}, {"max_prompt_images", 3},
                                {"max_prompt_image_size", 4}}}}},
        {"supports", {{"adaptive_thinking", "auto"}, {"tool_calls", true},
                      {"reasoningEffort", true}, {"structured_outputs", true}, {"streaming", false}}}}},
      {"policy", {{"terms", "terms"}}},
      {"billing", {{"tokenPrices", {{"inputPrice", 1}, {"outputPrice", 2}, {"cachePrice", 3},
                                    {"batchSize", 4}, {"contentMax", true}}}}}};
  std::vector<ModelInfo> models = ParseModelList(Models({entry}));
  ASSERT_EQ(models.size(), 1u);
  const ModelInfo& m = models[0];
  EXPECT_EQ(m.id, "gpt-x");
  EXPECT_EQ(m.name, "GPT X");
  EXPECT_TRUE(m.vision);
  EXPECT_EQ(m.supportedMediaTypes, std::vector<std::string>{"image/png"});
  EXPECT_EQ(m.supportedReasoningEfforts, (std::vector<std::string>{"low", "high"}));
  EXPECT_EQ(m.maxPromptTokens, 1000);
  EXPECT_EQ(m.maxContextWindowTokens, 2000);
  EXPECT_EQ(m.maxPromptImages, 3);
  EXPECT_EQ(m.maxPromptImageSize, 4);
  EXPECT_EQ(m.adaptiveThinking, "auto");
  EXPECT_TRUE(m.toolCalls && m.supportsReasoningEffort && m.structuredOutputs);
  EXPECT_FALSE(m.supportsStreaming);
  EXPECT_EQ(m.policyTerms, "terms");
  EXPECT_EQ(m.outputPrice, 2);
  EXPECT_EQ(m.contentMax, 1);
  EXPECT_FALSE(m.isOllama);
}

TEST(ModelListTest, CapabilitiesWithoutLimitsAreIgnored) {
  json entry = {{"id", "a"}, {"name", "A"},
                {"capabilities", {{"supports", {{"streaming", false}, {"tool_calls", true}}}}},
                {"supportedReasoningEfforts", {"low"}},
                {"billing", {{"tokenPrices", {{"outputPrice", 7}}}}}};
  std::vector<ModelInfo> models = ParseModelList(Models({entry}));
  ASSERT_EQ(models.size(), 1u);
  EXPECT_TRUE(models[0].supportsStreaming);
  EXPECT_FALSE(models[0].toolCalls);
  EXPECT_TRUE(models[0].supportedReasoningEfforts.empty());
  EXPECT_EQ(models[0].outputPrice, 7);
}

TEST(ModelListTest, AnyMistypedValueDiscardsTheWholeList) {
  json good = {{"id", "a"}, {"name", "A"}};
  const json bad[] = {
      {{"id", "b"}, {"name", "B"},
       {"capabilities", {{"limits", json::object()}, {"supports", {{"adaptive_thinking", true}}}}}},
      {{"id", 5}, {"name", "B"}},
      {{"name", "B"}},
      {{"id", "b"}, {"name", "B"}, {"billing", {{"tokenPrices", {{"outputPrice", "x"}}}}}},
  };
  EXPECT_EQ(ParseModelList(Models({good})).size(), 1u);
  for (const json& entry : bad) EXPECT_TRUE(ParseModelList(Models({entry, good})).empty()) << entry;
  EXPECT_TRUE(ParseModelList(json()).empty());
  EXPECT_TRUE(ParseModelList({{"error", {{"code", 1}}}}).empty());
}

TEST(StatusTextTest, ReportsInstallationModelsAndQuota) {
  EXPECT_EQ(StatusText(AccountStatus{}), "Copilot is not installed.");
  AccountStatus status;
  status.installed = status.connected = true;
  ModelInfo free;
  free.name = "Free";
  status.models.push_back(free);
  QuotaInfo premium;
  premium.remainingPercentage = 75.5f;
  premium.usedRequests = 12;
  premium.entitlementRequests = 300;
  status.quotas["premium_interactions"] = premium;
  const std::string rule(52, '-');
  EXPECT_EQ(StatusText(status),
            "Installed: Yes.\r\nStatus: Connected.\r\nAuthentication: Not Authenticated.\r\n\r\n\r\n"
            "Models\r\n" + rule + "\r\n00000 - Free\r\n"
            "\r\n\r\nAccount Quota\r\n" + rule + "\r\n 24.50% - Premium Percentage Usage (12/300)\r\n");
}

}  // namespace
