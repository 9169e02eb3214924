// SPDX-License-Identifier: GPL-3.0-or-later
// Plain parameter values: how typed values are read, and how VST 2 and VST 3 plug-ins take
// them or refuse them without changing anything.
#include <gtest/gtest.h>

#include "plexar/parameter_text.h"
#include "vst2_test_support.h"
#include "vst3_test_support.h"

namespace plexar {
namespace {

TEST(ParameterTextTest, TypedValuesAreReadAsNumbersUnitsOrWords) {
  struct Case {
    std::string typed;
    std::optional<float> bare;
    std::optional<double> inHertz;
  } cases[] = {
      {"0.5", 0.5f, 0.5}, {" 1e-1 ", 0.1f, 0.1}, {"-6", -6.0f, -6.0}, {"8Hz", {}, 8.0},
      {"8 hz", {}, 8.0},  {"8dB", {}, {}},        {"loud", {}, {}},     {"inf", {}, {}},
      {"nan", {}, {}},    {"0x10", {}, {}},       {"", {}, {}},         {".5", 0.5f, 0.5},
      {"1e40", {}, 1e40}, {"Hz", {}, {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(BareNumber(c.typed), c.bare) << c.typed;
    EXPECT_EQ(NumberInUnit(c.typed, "Hz"), c.inHertz) << c.typed;
  }
  // A display shows a typed number to the digits it has; a kept-in-range one shows another.
  EXPECT_TRUE(ShowsNumber("6.07", 6.066));
  EXPECT_TRUE(ShowsNumber("-6.0 dB", -6.02));
  EXPECT_TRUE(ShowsNumber("40", 40.4));
  EXPECT_FALSE(ShowsNumber("20.00", 25));
  EXPECT_FALSE(ShowsNumber("100", 150));
  EXPECT_TRUE(ShowsNumber("Off", 3));  // nothing to compare
  EXPECT_EQ(WithUnit("4.00", "Hz"), "4.00 Hz");
  EXPECT_EQ(WithUnit("4.00 Hz", "Hz"), "4.00 Hz");
  EXPECT_EQ(WithUnit("On", ""), "On");
  EXPECT_EQ(WithoutUnit("4.00 Hz", "Hz"), "4.00");
  EXPECT_EQ(WithoutUnit("Hz", "Hz"), "Hz");
}

TEST(ParameterTextTest, AVst2PlugInReadsPlainValuesAndAFailedOneIsPutBack) {
  Vst2Ptr vst = LoadVst2(TESSARY_V2FX_SO);
  ASSERT_TRUE(vst);
  std::string text, unit, why;
  ASSERT_EQ(vst->GetParameterDisplay(0, &text, &unit), S_OK);
  EXPECT_EQ(text + "|" + unit, "0.0|dB");
  ASSERT_EQ(vst->SetParameterText(0, "-6dB", &why), S_OK);
  float value = 0;
  vst->GetParameter(0, &value);
  EXPECT_NEAR(value, 0.2506, 1e-3);
  // The plug-in keeps 150 % at 100 %: the host sees it in the display and puts 25 % back.
  EXPECT_EQ(vst->SetParameterText(1, "150%", &why), E_INVALIDARG);
  EXPECT_EQ(why, "it lies outside the parameter's range");
  vst->GetParameter(1, &value);
  EXPECT_FLOAT_EQ(value, 0.25f);
  EXPECT_EQ(vst->SetParameterText(1, "loud", &why), E_INVALIDARG);
  EXPECT_EQ(why, "the plug-in cannot read it");
  EXPECT_EQ(vst->SetParameterText(7, "1", &why), E_INVALIDARG);
  // A bare number is still normalised.
  TypedValue typed = SetTypedValue(*vst, 1, "0.5");
  EXPECT_TRUE(typed.ok);
  EXPECT_EQ(ShownValue(*vst, 1), "50 %");
  typed = SetTypedValue(*vst, 1, "2");
  EXPECT_FALSE(typed.ok);
  EXPECT_EQ(typed.error, "a bare number is a normalised value from 0 to 1; for 2 % type 2%");
}

TEST(ParameterTextTest, AVst3PlugInReadsItsOwnTextsAndRefusesWhatItCannot) {
  // The gain's controller reports what its processor has, so values show after a block.
  VstPtr vst = LoadVst3(TESSARY_GAIN_SO);
  ASSERT_TRUE(vst);
  vst->AllocateBuffers();
  std::string why;
  ASSERT_EQ(vst->SetParameterText(0, "1.5 x", &why), S_OK) << why;
  RunBlock(vst.get());
  float value = 0;
  vst->GetParameter(0, &value);
  EXPECT_FLOAT_EQ(value, 0.75f);
  EXPECT_EQ(ShownValue(*vst, 0), "1.50 x");
  EXPECT_EQ(vst->SetParameterText(0, "3x", &why), E_INVALIDARG);
  EXPECT_EQ(why, "the plug-in cannot read it");
  RunBlock(vst.get());
  vst->GetParameter(0, &value);
  EXPECT_FLOAT_EQ(value, 0.75f);
  // A plug-in that shows no text falls back to the normalised value.
  VstPtr split = LoadVst3(TESSARY_SPLIT_SO);
  ASSERT_TRUE(split);
  EXPECT_EQ(ShownValue(*split, 0), "0.500");
  EXPECT_EQ(split->SetParameterText(0, "0.5x", &why), E_INVALIDARG);
}

}  // namespace
}  // namespace plexar
