// SPDX-License-Identifier: GPL-3.0-or-later
// The small parts of the updater: names, filter, hexadecimal hashes, the hash store.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "molt/bytes.h"
#include "molt/difflib.h"
#include "molt/file_filter.h"
#include "molt/hash_cache.h"
#include "molt/molter.h"
#include "molt/names.h"
#include "molt/replacement_file.h"
#include "molt/sha256.h"
#include "molt/signature_cache.h"
#include "tests/molt/test_files.h"

namespace Molt {
namespace {

using molt_test::TempFolder;

TEST(NamesTest, NamesThatLeaveTheFolderAreRefused) {
  const struct {
    const char* name;
    bool safe;
  } cases[] = {
      {"tessary", true},        {"sub\\a.txt", true}, {"a..b", true},          {"", false},
      {"\\etc\\passwd", false}, {"..\\x", false},     {"a\\..\\..\\x", false}, {"a\\.\\x", false},
      {"a\\\\x", false},        {"C:\\x", false},     {"a\\", false},          {"new\nline", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsSafeName(c.name), c.safe) << c.name;
}

TEST(NamesTest, FindFileIgnoresCaseAndSeparatorAndRefusesBadNames) {
  Molter molter("/nowhere", {}, "http://127.0.0.1:1/molter/molter.php");
  UpdateFile* added = molter.FindFile("Sub/Tessary", true);
  ASSERT_NE(added, nullptr);
  EXPECT_EQ(added->name, "Sub\\Tessary");
  EXPECT_EQ(molter.FindFile("sub\\TESSARY", false), added);
  EXPECT_EQ(molter.FindFile("SUB/tessary", true), added);
  EXPECT_EQ(molter.FindFile("other", false), nullptr);
  EXPECT_EQ(molter.FindFile("../escape", true), nullptr);
  EXPECT_EQ(molter.FindFile("/etc/passwd", true), nullptr);
  EXPECT_EQ(molter.files.size(), 1u);
}

TEST(FileFilterTest, PatternsAreWholeNameExpressions) {
  const FileFilter only({"tessary.exe"}, true);
  EXPECT_FALSE(only.Excludes("tessary.exe"));
  EXPECT_FALSE(only.Excludes("tessaryXexe"));  // the dot is any character
  EXPECT_TRUE(only.Excludes("tessary.exe.bak"));
  const FileFilter leaveOut({".*\\.txt"}, false);
  EXPECT_TRUE(leaveOut.Excludes("a.txt"));
  EXPECT_FALSE(leaveOut.Excludes("a.bin"));
  const FileFilter broken({"(unclosed"}, true);
  EXPECT_TRUE(broken.Excludes("(unclosed"));
  const FileFilter exact({EscapeForPattern("tessary.exe")}, true);
  EXPECT_TRUE(exact.Excludes("tessaryXexe"));
}

TEST(HexTest, TwoDigitsPerByteAndALoneLastDigit) {
  EXPECT_EQ(FromHex("00ff1A"), (Bytes{0x00, 0xff, 0x1a}));
  EXPECT_EQ(FromHex("abc"), (Bytes{0xab, 0x0c}));
  EXPECT_EQ(FromHex(""), Bytes{});
  EXPECT_FALSE(FromHex("zz"));
  EXPECT_EQ(ToHex(Bytes{0x01, 0xab}), "01ab");
}

class HashCacheTest : public ::testing::Test {
 protected:
  TempFolder temp;
  std::filesystem::path store = temp.path() / "cache/hashes";
  std::filesystem::path file = temp.path() / "big";
};

TEST_F(HashCacheTest, AnUnchangedFileIsNotReadAgain) {
  molt_test::WriteFile(file, molt_test::RandomBytes(10000, 1));
  // A file hashed within a tick of its last change is not trusted; let the tick pass.
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  {
    HashCache cache(store);
    EXPECT_EQ(cache.Hash(file), HashFile(file));
    cache.Save();
  }
  // Put a made-up hash in the store: a cache that trusts the file's stamp returns it.
  std::ifstream in(store);
  std::string line;
  std::getline(in, line);
  const std::string real = ToHex(*HashFile(file));
  const std::size_t at = line.find(real);
  ASSERT_NE(at, std::string::npos);
  line.replace(at, real.size(), std::string(real.size(), 'a'));
  in.close();
  std::ofstream(store) << line << "\n";
  EXPECT_EQ(HashCache(store).Hash(file), Bytes(32, 0xaa));
}

TEST_F(HashCacheTest, ARewrittenFileIsReadAgainEvenWithItsOldTimes) {
  molt_test::WriteFile(file, molt_test::RandomBytes(10000, 1));
  struct stat before;
  ASSERT_EQ(stat(file.c_str(), &before), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  {
    HashCache cache(store);
    cache.Hash(file);
    cache.Save();
  }
  molt_test::WriteFile(file, molt_test::RandomBytes(10000, 2));
  const timespec times[2] = {before.st_atim, before.st_mtim};
  ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
  EXPECT_EQ(HashCache(store).Hash(file), HashFile(file));
}

// A large file is signed as it is hashed; its signatures serve while its content stays, go
// when it changes, and damaged ones are not used.
TEST_F(HashCacheTest, ALargeFileIsSignedOnceAndItsSignaturesFollowItsContent) {
  molt_test::WriteFile(file, molt_test::RandomBytes(kSignAheadSize, 1));
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  const Bytes oldHash = *HashFile(file);
  {
    HashCache cache(store);
    EXPECT_EQ(cache.Hash(file), oldHash);
    cache.Save();
  }
  EXPECT_EQ(CachedSignatures(store, oldHash, kSignAheadSize), DIFFLIB::SignFile(file));
  EXPECT_FALSE(CachedSignatures(store, oldHash, kSignAheadSize + 1));

  const std::filesystem::path kept = SignatureFolder(store) / ToHex(oldHash);
  Bytes damaged = *CachedSignatures(store, oldHash, kSignAheadSize);
  damaged.push_back(0);
  molt_test::WriteFile(kept, damaged);
  EXPECT_FALSE(CachedSignatures(store, oldHash, kSignAheadSize));

  molt_test::WriteFile(file, molt_test::RandomBytes(kSignAheadSize, 2));
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  {
    HashCache cache(store);
    cache.Hash(file);
    cache.Save();
  }
  EXPECT_FALSE(std::filesystem::exists(kept));
  EXPECT_EQ(CachedSignatures(store, *HashFile(file), kSignAheadSize), DIFFLIB::SignFile(file));
}

TEST(ReplacementFileTest, LeftoversOfInterruptedReplacementsGoOnlyWhenOld) {
  TempFolder temp;
  const auto target = temp.path() / "tessary";
  molt_test::WriteFile(target, {1});
  molt_test::WriteFile(temp.path() / ".tessary.molt-old", {2});
  molt_test::WriteFile(temp.path() / ".tessary.molt-new", {3});
  molt_test::WriteFile(temp.path() / ".other.molt-old", {4});
  for (const char* name : {".tessary.molt-old", ".other.molt-old"}) {
    std::filesystem::last_write_time(
        temp.path() / name, std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
  }
  RemoveStaleReplacements(target);
  EXPECT_EQ(molt_test::ListTree(temp.path()),
            (std::vector<std::string>{".other.molt-old", ".tessary.molt-new", "tessary"}));
}

}  // namespace
}  // namespace Molt
