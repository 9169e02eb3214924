// SPDX-License-Identifier: GPL-3.0-or-later
#include "plexar/vst3/preset_file.h"

#include <gtest/gtest.h>

#include <functional>

#include "plexar/vst3/memory_stream.h"
#include "plexar/vst3/processing.h"
#include "plexar/vst3/ref.h"

namespace plexar::vst3 {
namespace {

TEST(PresetFileTest, UidTextIsTheMemoryOrderInHex) {
  EXPECT_EQ(UidToText(IComponent::iid.data()), "E831FF31F2D54301928EBBEE25697802");
  char back[16];
  ASSERT_TRUE(UidFromText("e831ff31f2d54301928ebbee25697802", back));
  EXPECT_TRUE(IComponent::iid.Matches(back));
  EXPECT_FALSE(UidFromText("E831FF31F2D54301928EBBEE2569780", back));
  EXPECT_FALSE(UidFromText("X831FF31F2D54301928EBBEE25697802", back));
}

TEST(PresetFileTest, BuildsHeaderChunksAndListThatParseBack) {
  std::vector<uint8_t> comp = {1, 2, 3}, cont = {9, 8};
  auto file = BuildPreset(IComponent::iid.data(), comp, &cont);
  ASSERT_EQ(file.size(), 48u + 3 + 2 + 8 + 2 * 20);
  EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "VST3");
  EXPECT_EQ(file[4], 1);
  EXPECT_EQ(file[40], 53);  // list right after the two payloads
  auto image = ParsePreset(file, nullptr);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->classId, "E831FF31F2D54301928EBBEE25697802");
  ASSERT_EQ(image->chunks.size(), 2u);
  EXPECT_EQ(image->Find("Comp")->offset, 48);
  EXPECT_EQ(image->Find("Comp")->size, 3);
  EXPECT_EQ(image->Find("Cont")->offset, 51);
  EXPECT_EQ(image->Find("Prog"), nullptr);
}

TEST(PresetFileTest, RefusesDamagedFiles) {
  std::vector<uint8_t> comp = {1, 2, 3};
  auto good = BuildPreset(IComponent::iid.data(), comp, nullptr);
  struct Case { const char* what; std::function<void(std::vector<uint8_t>&)> damage; };
  std::vector<Case> cases = {
      {"short", [](auto& f) { f.resize(20); }},
      {"magic", [](auto& f) { f[0] = 'X'; }},
      {"list offset zero", [](auto& f) { std::fill(f.begin() + 40, f.begin() + 48, 0); }},
      {"list offset past end", [](auto& f) { f[41] = 0x7F; }},
      {"list magic", [](auto& f) { f[51] = 'X'; }},
      {"count too large", [](auto& f) { f[56] = 1; }},
      {"chunk past end", [](auto& f) { f[51 + 8 + 12] = 200; }},
      {"truncated list", [](auto& f) { f.pop_back(); }},
  };
  for (auto& c : cases) {
    auto file = good;
    c.damage(file);
    std::string err;
    EXPECT_FALSE(ParsePreset(file, &err)) << c.what;
    EXPECT_FALSE(err.empty()) << c.what;
  }
}

TEST(MemoryStreamTest, ReadsWritesSeeksAndAnswersItsInterfaces) {
  auto stream = Ref<MemoryStream>::Adopt(new MemoryStream);
  int32 n = 0;
  char data[] = "abcdef";
  EXPECT_EQ(stream->write(data, 6, &n), kResultOk);
  EXPECT_EQ(n, 6);
  int64 pos = -1;
  EXPECT_EQ(stream->seek(2, IBStream::kIBSeekSet, &pos), kResultOk);
  char got[8] = {};
  EXPECT_EQ(stream->read(got, 8, &n), kResultOk);
  EXPECT_EQ(n, 4);
  EXPECT_STREQ(got, "cdef");
  EXPECT_EQ(stream->read(got, 8, &n), kResultOk);
  EXPECT_EQ(n, 0);
  EXPECT_NE(stream->seek(-1, IBStream::kIBSeekSet, nullptr), kResultOk);
  auto sizeable = QueryRef<ISizeableStream>(static_cast<IBStream*>(stream.get()));
  ASSERT_TRUE(sizeable);
  int64 size = 0;
  sizeable->getStreamSize(size);
  EXPECT_EQ(size, 6);
  EXPECT_FALSE(QueryRef<IComponent>(static_cast<IBStream*>(stream.get())));
}

}  // namespace
}  // namespace plexar::vst3
