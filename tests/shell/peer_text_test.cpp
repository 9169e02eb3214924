// SPDX-License-Identifier: GPL-3.0-or-later
// Text from a peer never drives the terminal, whichever way it is printed.
#include <gtest/gtest.h>

#include "tests/support/fake_copilot.h"

namespace {

using nlohmann::json;
using testing_support::FakeCopilot;
using testing_support::PtySession;
using testing_support::TessaryPath;

// What a hostile peer may send, and what must reach the terminal instead.
struct Escape {
  const char* sent;
  const char* shown;
};
const Escape kEscapes[] = {
    {"\x1b]52;c;aGk=\x07", "^[]52;c;aGk=^G"},  // writes the clipboard
    {"\x1b[2J", "^[[2J"},                      // clears the screen
    {"\x1b]0;pwned\x07", "^[]0;pwned^G"},      // window title
    {"\xc2\x9b"
     "2J",
     "<U+009B>2J"},  // C1 CSI
    {"\xc2\x9d"
     "0;t\xc2\x9c",
     "<U+009D>0;t<U+009C>"},  // C1 OSC ... ST
};

// Bytes that only a peer could have put on the screen: our own output uses none of them.
const char* const kForbidden[] = {"\x1b]52",  "\x1b[2J",  "\x1b]0;",
                                  "\xc2\x9b", "\xc2\x9d", "\xc2\x9c"};

void ExpectNothingRaw(const std::string& screen, const std::string& path) {
  for (const char* bytes : kForbidden)
    EXPECT_EQ(screen.find(bytes), std::string::npos)
        << path << " let " << ::testing::PrintToString(std::string(bytes)) << " through";
}

TEST(PeerTextTest, EveryPrintingPathShowsEscapesAsPlaceholders) {
  for (const Escape& escape : kEscapes) {
    std::string text = std::string("a") + escape.sent + "b";
    // An escape whose first character ends one piece must be caught as well.
    size_t cut = 1 + (static_cast<unsigned char>(escape.sent[0]) >= 0xC0 ? 2 : 1);
    std::string first = text.substr(0, cut), rest = text.substr(cut);
    auto event = [](const char* type, const char* field, const std::string& value) {
      return json::object({{"event", type}, {"data", json::object({{field, value}})}});
    };
    json answers =
        json::array({json::array({event("assistant.reasoning_delta", "deltaContent", text),
                                  event("assistant.message_delta", "deltaContent", first),
                                  event("assistant.message_delta", "deltaContent", rest),
                                  event("assistant.message", "content", text)}),
                     json::array({event("assistant.message", "content", text)}),
                     json::array({event("session.error", "message", text)})});
    json models = {{"models", {{{"id", "gpt-4.1"}, {"name", "Line\nbreak " + text}}}}};
    FakeCopilot fake({{"answers", answers}, {"models", models}});
    PtySession run({TessaryPath()}, fake.Options());
    ASSERT_TRUE(run.WaitFor("\x1b[32m[AI] "));
    struct Step {
      const char* path;
      const char* typed;
      const char* done;
      bool wholeMessage;  // the message's JSON text is shown, where ESC stays escaped as text
    } steps[] = {
        {"a streamed answer", "one\r", "Response 1 done", false},
        {"an answer printed whole", "/streaming\rtwo\r", "Response 2 done", false},
        {"an error", "three\r", "Response 2 done", true},
        {"/models", "/models\r", "[gpt-4.1]", false},
        {"/model N", "/model 1\r", "(Rate 0)", false},
        {"/status", "/status\rc", "Copilot Status", false},
    };
    for (const Step& step : steps) {
      SCOPED_TRACE(::testing::PrintToString(std::string(escape.sent)) + " through " + step.path);
      run.Mark();
      run.Type(step.typed);
      ASSERT_TRUE(run.WaitFor(step.done));
      std::string screen = run.Settle(std::chrono::milliseconds(100));
      ExpectNothingRaw(screen, step.path);
      if (step.wholeMessage && std::string(escape.sent).find('\x1b') != std::string::npos) continue;
      EXPECT_NE(screen.find(escape.shown), std::string::npos) << ::testing::PrintToString(screen);
    }
    run.Type("/exit\r");
    EXPECT_EQ(run.WaitForExit(), 0);
  }
}

}  // namespace
