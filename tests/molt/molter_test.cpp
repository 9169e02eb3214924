// SPDX-License-Identifier: GPL-3.0-or-later
// The updater against the real update server on loopback.
#include "molt/molter.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <thread>

#include "molt/difflib.h"
#include "molt/hash_cache.h"
#include "molt/sha256.h"
#include "molt/signature_cache.h"

#include "tests/molt/update_fixture.h"

namespace molt_test {
namespace {

using Molt::FileFilter;
using Molt::Molter;

class MolterTest : public UpdateFixture {};

TEST_F(MolterTest, NothingDiffersAfterOneRequest) {
  AddFile("tessary", RandomBytes(50000, 1), true);
  AddFile("lib/data.bin", RandomBytes(3000, 2), true);
  Publish();
  StartServer();
  EXPECT_EQ(MakeMolter()->Run(nullptr), Molt::kNothingDiffers);
  const auto lines = LogLines(1);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find(" hashes 200 "), std::string::npos) << lines[0];
  EXPECT_TRUE(lines[0].ends_with(" bytes")) << lines[0];
}

TEST_F(MolterTest, OnlyAFilteredOutFileDiffers) {
  AddFile("tessary", RandomBytes(50000, 1), true);
  AddFile("readme.txt", RandomBytes(100, 2), false);
  WriteFile(install() / "readme.txt", RandomBytes(100, 3));
  Publish();
  StartServer();
  const FileFilter filter({"tessary"}, true);
  EXPECT_EQ(MakeMolter()->Run(&filter), Molt::kOnlyFilteredDiffer);
  EXPECT_EQ(LogLines(1).size(), 1u);
  EXPECT_EQ(ReadFile(install() / "readme.txt"), RandomBytes(100, 3));
}

TEST_F(MolterTest, AMissingFileIsDownloadedWhole) {
  const Molt::Bytes content = RandomBytes(70000, 4);
  AddFile("sub/new.bin", content, false);
  AddFile("tessary", RandomBytes(5000, 5), true);
  Publish();
  StartServer();
  auto molter = MakeMolter();
  std::vector<int> stages;
  molter->progressValue = 7;
  molter->progress = [&stages](int stage, std::uint64_t, std::int64_t, std::uintptr_t value) {
    if (value == 7 && (stages.empty() || stages.back() != stage)) stages.push_back(stage);
  };
  EXPECT_EQ(molter->Run(nullptr), Molt::kUpdated);
  EXPECT_EQ(stages, (std::vector<int>{Molt::kStageHashes, Molt::kStageSigs, Molt::kStagePatch}));
  EXPECT_EQ(ReadFile(install() / "sub/new.bin"), content);
  const Molt::UpdateFile* file = molter->FindFile("sub/new.bin", false);
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(file->requests.size(), 1u);
  EXPECT_EQ(file->requests[0].length, Molt::kWholeFile);
  EXPECT_EQ(LogLines(3).size(), 3u);
}

TEST_F(MolterTest, AChangeInTheMiddleOfALargeFileCostsAFewChunks) {
  Molt::Bytes old = RandomBytes(20u << 20, 6);
  Molt::Bytes changed = old;
  const Molt::Bytes patch = RandomBytes(1024, 7);
  std::copy(patch.begin(), patch.end(), changed.begin() + (10u << 20));
  WriteFile(install() / "tessary", old);
  chmod((install() / "tessary").c_str(), 0750);
  AddFile("tessary", changed, false);
  Publish();
  StartServer();
  auto molter = MakeMolter();
  EXPECT_EQ(molter->Run(nullptr), Molt::kUpdated);
  EXPECT_EQ(ReadFile(install() / "tessary"), changed);
  struct stat status;
  ASSERT_EQ(stat((install() / "tessary").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0750u);
  LogLines(3);
  EXPECT_LT(BytesSent("patch"), 16u * Molt::DIFFLIB::kHorizon);
  EXPECT_LT(molter->received, 1u << 20);
  // Nothing but the file itself is left in the installation.
  EXPECT_EQ(ListTree(install()), std::vector<std::string>{"tessary"});
}

// An installed program that has started before has its executable's signatures in the
// hash store; the update takes them from there and comes out the same.
TEST_F(MolterTest, SignaturesKeptInTheHashStoreServeTheUpdate) {
  const Molt::Bytes old = RandomBytes(Molt::kSignAheadSize + 5000, 9);
  Molt::Bytes changed = old;
  changed.insert(changed.begin() + 3000000, 700, 0x5a);
  WriteFile(install() / "tessary", old);
  AddFile("tessary", changed, false);
  Publish();
  StartServer();
  const std::filesystem::path store = temp.path() / "hashes";
  // The store trusts a hash only when its file had not changed within a tick before.
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  {
    Molt::HashCache cache(store);
    cache.Hash(install() / "tessary");
    cache.Save();
  }
  ASSERT_TRUE(Molt::CachedSignatures(store, Molt::HashBytes(old), old.size()));
  auto molter = MakeMolter();
  molter->hashStore = store;
  EXPECT_EQ(molter->Run(nullptr), Molt::kUpdated);
  EXPECT_EQ(ReadFile(install() / "tessary"), changed);
  LogLines(3);
  EXPECT_LT(BytesSent("patch"), 16u * Molt::DIFFLIB::kHorizon);
}

TEST_F(MolterTest, ARebuiltFileWithTheWrongHashIsNeverWritten) {
  const Molt::Bytes old = RandomBytes(200000, 8);
  Molt::Bytes changed = old;
  changed[100000] ^= 0xff;
  WriteFile(install() / "tessary", old);
  AddFile("tessary", changed, false);
  Publish();
  // The server hands out blocks of another file than the one it lists.
  Molt::Bytes other = changed;
  other[100000] ^= 0x0f;
  WriteFile(published() / "files/tessary", other);
  StartServer();
  EXPECT_EQ(MakeMolter()->Run(nullptr), Molt::kRebuildFailed);
  EXPECT_EQ(ReadFile(install() / "tessary"), old);
  EXPECT_EQ(ListTree(install()), std::vector<std::string>{"tessary"});
}

// The new file is written while it is still being read and hashed; a write that fails
// half-way (a full disk) must fail the run with the old file whole and nothing beside it.
TEST_F(MolterTest, ARebuiltFileThatCannotBeWrittenLeavesTheOldOne) {
  const Molt::Bytes old = RandomBytes(12u << 20, 10);
  Molt::Bytes changed = old;
  changed[6u << 20] ^= 0xff;
  WriteFile(install() / "tessary", old);
  AddFile("tessary", changed, false);
  Publish();
  StartServer();
  auto molter = MakeMolter();
  {
    const FileSizeLimit limit(4u << 20);
    EXPECT_EQ(molter->Run(nullptr), Molt::kRebuildFailed);
  }
  EXPECT_EQ(ReadFile(install() / "tessary"), old);
  EXPECT_EQ(ListTree(install()), std::vector<std::string>{"tessary"});
}

TEST_F(MolterTest, SignedListsAreCheckedAgainstTheBuiltInKey) {
  TempFolder keys;
  std::string error;
  auto key = Molt::SigningKey::Generate(keys.path() / "right.pem", &error);
  auto other = Molt::SigningKey::Generate(keys.path() / "other.pem", &error);
  ASSERT_TRUE(key && other) << error;
  const Molt::Bytes publicKey = *Molt::ReadPublicKey(key->PublicKeyHex());
  const Molt::Bytes old = RandomBytes(30000, 9);
  const Molt::Bytes changed = RandomBytes(30000, 10);
  WriteFile(install() / "tessary", old);
  AddFile("tessary", changed, false);
  StartServer();
  const struct {
    const Molt::SigningKey* signer;
    std::int32_t result;
  } cases[] = {{nullptr, Molt::kNoHashList}, {&*other, Molt::kNoHashList}, {&*key, Molt::kUpdated}};
  for (const auto& c : cases) {
    Publish(c.signer);
    EXPECT_EQ(MakeMolter(publicKey)->Run(nullptr), c.result);
    EXPECT_EQ(ReadFile(install() / "tessary"), c.result == Molt::kUpdated ? changed : old);
  }
}

TEST_F(MolterTest, AnUnsignedListStillServesWithoutAKey) {
  AddFile("tessary", RandomBytes(3000, 11), false);
  Publish();
  StartServer();
  EXPECT_EQ(MakeMolter()->Run(nullptr), Molt::kUpdated);
}

TEST_F(MolterTest, AnswersBeyondTheLimitsAreRefused) {
  const Molt::Bytes old = RandomBytes(300000, 12);
  WriteFile(install() / "tessary", old);
  AddFile("tessary", RandomBytes(300000, 13), false);
  Publish();
  StartServer();
  auto hashes = MakeMolter();
  hashes->limits.hashesAnswer = 100;
  EXPECT_EQ(hashes->Run(nullptr), Molt::kNoHashList);
  auto patch = MakeMolter();
  patch->limits.patchAnswer = 100000;
  EXPECT_EQ(patch->Run(nullptr), Molt::kDownloadFailed);
  EXPECT_EQ(ReadFile(install() / "tessary"), old);
}

}  // namespace
}  // namespace molt_test
