// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/base64.h"

#include <gtest/gtest.h>

namespace {

TEST(Base64Test, RoundTripsTheRfcVectors) {
  const std::pair<const char*, const char*> cases[] = {
      {"", ""},           {"f", "Zg=="},         {"fo", "Zm8="},
      {"foo", "Zm9v"},    {"foob", "Zm9vYg=="},  {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
  };
  for (auto [plain, encoded] : cases) {
    EXPECT_EQ(common::EncodeBase64(plain), encoded);
    EXPECT_EQ(common::DecodeBase64(encoded), plain);
  }
}

TEST(Base64Test, KeepsEveryByteValue) {
  std::string all;
  for (int i = 0; i < 256; ++i) all += char(i);
  EXPECT_EQ(common::DecodeBase64(common::EncodeBase64(all)), all);
}

TEST(Base64Test, RefusesMalformedText) {
  for (const char* bad : {"Z", "Zm9v!", "Zg=a", "Zg===", "=Zg="})
    EXPECT_FALSE(common::DecodeBase64(bad).has_value()) << bad;
}

}  // namespace
