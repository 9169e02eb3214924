// SPDX-License-Identifier: GPL-3.0-or-later
// The rules for model code, against the Faust libraries installed on this machine.
#include "faust/code_policy.h"

#include <gtest/gtest.h>

namespace {

constexpr char kLibraries[] = "/usr/share/faust";

TEST(CodePolicyTest, TheLibrariesDeclareTheirMathsSampleRateAndBlockSize) {
  const std::set<std::string> names = faust::ForeignNamesOfLibraries(kLibraries);
  for (const char* name : {"tanhf", "tanh", "cbrtf", "j0", "fSamplingFreq", "count"}) {
    EXPECT_TRUE(names.contains(name)) << name;
  }
  EXPECT_FALSE(names.contains("kill"));
  EXPECT_FALSE(names.contains("getpid"));
}

struct Case {
  const char* code;
  const char* refusal;  // a part of the message, or null when the code is allowed
};

TEST(CodePolicyTest, ModelCodeIsAllowedOrRefusedByTheRules) {
  const faust::CodePolicy& policy = faust::PolicyFor(kLibraries);
  const Case cases[] = {
      {"import(\"stdfaust.lib\");\nprocess = ma.tanh;", nullptr},
      {"import(\"stdfaust.lib\"); process = fi.lowpass(2, 1000) : re.mono_freeverb(0.5, 0.5, 0.5, 10);", nullptr},
      {"m = library(\"maths.lib\"); process = *(m.SR / 48000);", nullptr},
      {"t = ffunction(float tanhf (float), <math.h>, \"\"); process = t;", nullptr},
      {"// ffunction(int kill(int, int), <stdlib.h>, \"\")\nprocess = _; /* import(\"/etc/passwd\") */", nullptr},
      {"declare name \"import(/etc/passwd)\"; process = _;", nullptr},
      {"k = ffunction(int kill(int, int), <stdlib.h>, \"\"); process = _ : k(1, 15);", "ffunction 'kill' is not allowed"},
      {"p = ffunction(int getpid(), <stdlib.h>, \"\"); process = p;", "ffunction 'getpid' is not allowed"},
      {"t = ffunction(float tanhf|system (float), <math.h>, \"\"); process = t;", "ffunction 'system'"},
      {"v = fvariable(int environ, <unistd.h>); process = v;", "fvariable 'environ' is not allowed"},
      {"c = fconstant(int errno, <errno.h>); process = c;", "fconstant 'errno' is not allowed"},
      {"f = ffunction ; process = _;", "this ffunction is not allowed"},
      {"s = library(\"/home/u/secret.env\"); process = s.TOKEN;", "library(\"/home/u/secret.env\") is not allowed"},
      {"import(\"../../../etc/passwd\"); process = _;", "is not allowed"},
      {"import(\"http://127.0.0.1/x.lib\"); process = _;", "import(\"http://127.0.0.1/x.lib\") is not allowed"},
      {"import(\"file:maths.lib\"); process = _;", "is not allowed"},
      {"import(\"secret.env\"); process = _;", "import(\"secret.env\") is not allowed"},
      {"c = component(\"/tmp/x.dsp\"); process = c;", "component(\"/tmp/x.dsp\") is not allowed"},
      {"n = \"stdfaust.lib\"; import(n); process = _;", "without a quoted file name"},
      {"process = soundfile(\"x\", 2);", "soundfile is not allowed"},
  };
  for (const Case& c : cases) {
    const std::string refusal = faust::CheckModelCode(c.code, policy);
    if (!c.refusal) {
      EXPECT_EQ(refusal, "") << c.code;
    } else {
      EXPECT_NE(refusal.find(c.refusal), std::string::npos) << c.code << "\n -> " << refusal;
    }
  }
}

}  // namespace
