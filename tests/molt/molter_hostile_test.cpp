// SPDX-License-Identifier: GPL-3.0-or-later
// The updater against a server that answers whatever a test gives it: odd archives, names
// that leave the folder, silence.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <map>
#include <thread>

#include "molt/difflib.h"
#include "molt/hash_list.h"
#include "molt/molter.h"
#include "molt/sha256.h"
#include "molt/zzip.h"
#include "tests/molt/test_files.h"

namespace molt_test {
namespace {

using Molt::Bytes;

Bytes Archive(const std::vector<std::pair<std::string, Bytes>>& entries) {
  auto zip = Molt::ZipWriter::CreateInMemory();
  for (const auto& [name, bytes] : entries) EXPECT_TRUE(zip->Add(name, bytes));
  return *zip->Close();
}

Bytes XmlList(const std::vector<Molt::HashListItem>& items) {
  return Archive({{"hashes.xml", Molt::ToBytes(Molt::WriteHashList(items))}});
}

// Answers each request word with fixed bytes.
class CannedServer {
 public:
  CannedServer() {
    http_.Get(R"(/molter/molter\.php)",
              [this](const httplib::Request& q, httplib::Response& r) { Answer(q, r); });
    http_.Post(R"(/molter/molter\.php)",
               [this](const httplib::Request& q, httplib::Response& r) { Answer(q, r); });
    port_ = http_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { http_.listen_after_bind(); });
  }
  ~CannedServer() {
    http_.stop();
    thread_.join();
  }
  std::string Endpoint() const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/molter/molter.php";
  }
  std::map<std::string, Bytes> answers;
  std::string patchList;  // the body of the last patch request
  // Words answered by a stream instead: `pieces` pieces of `piece` bytes, `pause` apart.
  struct Stream {
    std::size_t piece = 1;
    std::size_t pieces = 1;
    std::chrono::milliseconds pause{0};
  };
  std::map<std::string, Stream> streams;

 private:
  void Answer(const httplib::Request& request, httplib::Response& response) {
    if (request.get_param_value("f") == "patch") patchList = request.body;
    if (const auto stream = streams.find(request.get_param_value("f")); stream != streams.end()) {
      const Stream how = stream->second;
      response.set_chunked_content_provider(
          "application/zip", [how, sent = std::size_t{0}](std::size_t, httplib::DataSink& sink) mutable {
            if (sent == how.pieces) {
              sink.done();
              return true;
            }
            ++sent;
            const std::string piece(how.piece, '\0');
            if (!sink.write(piece.data(), piece.size())) return false;
            std::this_thread::sleep_for(how.pause);
            return true;
          });
      return;
    }
    const auto found = answers.find(request.get_param_value("f"));
    if (found == answers.end()) return void(response.status = 404);
    response.set_content(std::string(found->second.begin(), found->second.end()),
                         "application/zip");
  }
  httplib::Server http_;
  std::thread thread_;
  int port_ = 0;
};

class MolterHostileTest : public ::testing::Test {
 protected:
  std::unique_ptr<Molt::Molter> MakeMolter() {
    std::filesystem::create_directories(install);
    return std::make_unique<Molt::Molter>(install, Molt::MoltProgress{}, server.Endpoint());
  }
  TempFolder temp;
  std::filesystem::path install = temp.path() / "a/b/install";
  CannedServer server;
};

TEST_F(MolterHostileTest, OneEntryIsAnXmlListAndMoreAreOneHashEach) {
  server.answers["hashes"] = XmlList({{"Sub/X.bin", "0aff"}, {"tessary", "01"}});
  auto xml = MakeMolter();
  ASSERT_EQ(xml->GetRemoteHashes(), Webwire::S_OK);
  ASSERT_EQ(xml->files.size(), 2u);
  EXPECT_EQ(xml->files[0].name, "Sub\\X.bin");
  EXPECT_EQ(xml->files[0].remoteHash, (Bytes{0x0a, 0xff}));

  server.answers["hashes"] = Archive({{"dir/", {}}, {"a.bin", {1, 2}}, {"dir/b.bin", {3}}});
  auto entries = MakeMolter();
  ASSERT_EQ(entries->GetRemoteHashes(), Webwire::S_OK);
  ASSERT_EQ(entries->files.size(), 2u);
  EXPECT_EQ(entries->FindFile("DIR/B.BIN", false)->remoteHash, Bytes{3});
}

TEST_F(MolterHostileTest, NamesMatchInAnyCaseAndTheEntryCountIsCapped) {
  server.answers["hashes"] = XmlList({{"Sub/A.bin", "01"}, {"tessary", "02"}, {"sub\\a.BIN", "03"}});
  auto same = MakeMolter();
  ASSERT_EQ(same->GetRemoteHashes(), Webwire::S_OK);
  ASSERT_EQ(same->files.size(), 2u);
  EXPECT_EQ(same->FindFile("SUB/a.bin", false)->remoteHash, Bytes{3});

  auto listed = MakeMolter();
  listed->limits.hashesEntries = 2;
  EXPECT_EQ(listed->GetRemoteHashes(), Molt::E_ACCESSDENIED);
  server.answers["hashes"] = Archive({{"a.bin", {1}}, {"b.bin", {2}}, {"c.bin", {3}}});
  auto entries = MakeMolter();
  entries->limits.hashesEntries = 2;
  EXPECT_EQ(entries->GetRemoteHashes(), Molt::E_ACCESSDENIED);
  entries->limits.hashesEntries = 3;
  EXPECT_EQ(entries->GetRemoteHashes(), Webwire::S_OK);
}

TEST_F(MolterHostileTest, NamesThatLeaveTheFolderFailTheRunAndWriteNothing) {
  const Bytes content = RandomBytes(5000, 1);
  const std::string hash = Molt::ToHex(Molt::HashBytes(content));
  const Bytes sigs = Molt::DIFFLIB::SignBytes(content);
  for (const std::string bad : {"../escape", "..\\escape", "/tmp/escape", "sub/../../escape"}) {
    server.answers["hashes"] = XmlList({{bad, hash}});
    EXPECT_EQ(MakeMolter()->Run(nullptr), Molt::kNoHashList) << bad;
    server.answers["hashes"] = Archive({{"x", {1}}, {bad, Molt::HashBytes(content)}});
    EXPECT_EQ(MakeMolter()->Run(nullptr), Molt::kNoHashList) << bad;
    // A good list, but signatures under a bad name.
    server.answers["hashes"] = XmlList({{"tessary", hash}});
    server.answers["sigs"] = Archive({{"tessary", sigs}, {bad, sigs}});
    server.answers["patch"] = Archive({{"1", content}});
    EXPECT_EQ(MakeMolter()->Run(nullptr), Molt::kNoSignatures) << bad;
  }
  EXPECT_EQ(ListTree(temp.path()), (std::vector<std::string>{"a", "a/b", "a/b/install"}));
}

TEST_F(MolterHostileTest, ALinkLeadingOutOfTheFolderIsNotFollowed) {
  const Bytes content = RandomBytes(5000, 2);
  std::filesystem::create_directories(install);
  std::filesystem::create_directories(temp.path() / "outside");
  std::filesystem::create_directory_symlink(temp.path() / "outside", install / "link");
  server.answers["hashes"] = XmlList({{"link/tessary", Molt::ToHex(Molt::HashBytes(content))}});
  server.answers["sigs"] = Archive({{"link/tessary", Molt::DIFFLIB::SignBytes(content)}});
  server.answers["patch"] = Archive({{"1", content}});
  EXPECT_EQ(MakeMolter()->Run(nullptr), Molt::kRebuildFailed);
  EXPECT_TRUE(std::filesystem::is_empty(temp.path() / "outside"));
}

TEST_F(MolterHostileTest, BrokenAnswersEndTheRun) {
  const struct {
    Bytes hashes;
    std::int32_t result;
  } cases[] = {
      {{}, Molt::kNoHashList},
      {Molt::ToBytes("<html>not found</html>"), Molt::kNoHashList},
      {Archive({{"hashes.xml", Molt::ToBytes("<files><f n=")}}), Molt::kNoHashList},
      {XmlList({{"tessary", "not hex"}}), Molt::kNoHashList},
  };
  for (const auto& c : cases) {
    server.answers["hashes"] = c.hashes;
    EXPECT_EQ(MakeMolter()->Run(nullptr), c.result);
  }
}

TEST_F(MolterHostileTest, PatchBlocksOfTheWrongLengthAreNotUsed) {
  const Bytes old = RandomBytes(100000, 3);
  Bytes changed = old;
  changed[50000] ^= 1;
  WriteFile(install / "tessary", old);
  server.answers["hashes"] = XmlList({{"tessary", Molt::ToHex(Molt::HashBytes(changed))}});
  server.answers["sigs"] = Archive({{"tessary", Molt::DIFFLIB::SignBytes(changed)}});
  server.answers["patch"] = Archive({{"1", RandomBytes(10, 4)}});
  EXPECT_EQ(MakeMolter()->Run(nullptr), Molt::kDownloadFailed);
  EXPECT_EQ(ReadFile(install / "tessary"), old);
}

TEST_F(MolterHostileTest, TheBlockListAsksForWholeFilesAndForRanges) {
  const Bytes old = RandomBytes(100000, 5);
  Bytes changed = old;
  changed[50000] ^= 1;
  const Bytes fresh = RandomBytes(3000, 6);
  WriteFile(install / "tessary", old);
  server.answers["hashes"] = XmlList({{"Sub/New.bin", Molt::ToHex(Molt::HashBytes(fresh))},
                                      {"tessary", Molt::ToHex(Molt::HashBytes(changed))}});
  server.answers["sigs"] = Archive({{"Sub/New.bin", Molt::DIFFLIB::SignBytes(fresh)},
                                    {"tessary", Molt::DIFFLIB::SignBytes(changed)}});
  auto molter = MakeMolter();
  molter->Run(nullptr);
  const Molt::UpdateFile* file = molter->FindFile("tessary", false);
  ASSERT_EQ(file->requests.size(), 1u);
  const Molt::UpdateRequest& block = file->requests[0];
  EXPECT_EQ(server.patchList, "1,Sub/New.bin,F,0,0|2,tessary,P," + std::to_string(block.offset) +
                                  "," + std::to_string(block.length));
  EXPECT_LE(block.offset, 50000u);
  EXPECT_GT(block.offset + block.length, 50000u);
}

// Peak resident memory since the last ResetPeakMemory, in bytes.
std::uint64_t PeakMemory() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.starts_with("VmHWM:")) return std::stoull(line.substr(6)) * 1024;
  return 0;
}
void ResetPeakMemory() { std::ofstream("/proc/self/clear_refs") << "5"; }

// Small archives whose entries each stay under the limit of one but together inflate far
// beyond it (a zip bomb): the updater held them all, gigabytes from a few megabytes.
TEST_F(MolterHostileTest, ArchivesThatInflateBeyondTheLimitsAreRefused) {
  const Bytes zeros(1 << 20, 0);
  std::vector<std::pair<std::string, Bytes>> hashBomb, sigsBomb;
  for (int i = 0; i < 8; ++i) hashBomb.emplace_back("f" + std::to_string(i), zeros);
  for (int i = 0; i < 40; ++i) sigsBomb.emplace_back("tessary" + std::to_string(i), zeros);
  const Bytes content = RandomBytes(5000, 7);
  server.answers["hashes"] = Archive(hashBomb);
  EXPECT_EQ(MakeMolter()->Run(nullptr), Molt::kNoHashList);
  server.answers["hashes"] = XmlList({{"tessary", Molt::ToHex(Molt::HashBytes(content))}});
  sigsBomb.emplace_back("tessary", Molt::DIFFLIB::SignBytes(content));
  server.answers["sigs"] = Archive(sigsBomb);
  EXPECT_EQ(MakeMolter()->Run(nullptr), Molt::kNoSignatures);

  // The reader's own budget, entry by entry.
  const Bytes bomb = Archive(hashBomb);
  auto bombReader = Molt::ZipReader::Open(bomb);
  bombReader->LimitInflation(3u << 20);
  int read = 0;
  for (const auto& entry : bombReader->entries()) read += bombReader->Read(entry, 1 << 20).has_value();
  EXPECT_EQ(read, 3);
}

// A patch that never ends is kept on disk up to its limit, never in memory.
TEST_F(MolterHostileTest, AnEndlessPatchIsNotHeldInMemory) {
  const Bytes fresh = RandomBytes(3000, 8);
  server.answers["hashes"] = XmlList({{"New.bin", Molt::ToHex(Molt::HashBytes(fresh))}});
  server.answers["sigs"] = Archive({{"New.bin", Molt::DIFFLIB::SignBytes(fresh)}});
  server.streams["patch"] = {1 << 20, 4096, std::chrono::milliseconds(0)};
  auto molter = MakeMolter();
  molter->limits.patchAnswer = 256ull << 20;
  ResetPeakMemory();
  const std::uint64_t before = PeakMemory();
  EXPECT_EQ(molter->Run(nullptr), Molt::kDownloadFailed);
  EXPECT_GE(molter->received, 255ull << 20);
  EXPECT_LT(PeakMemory() - before, 64ull << 20);
}

// One byte at a time restarted the pause limit with every byte: a minute before the start.
TEST_F(MolterHostileTest, ATricklingHashListIsGivenUpAfterItsDeadline) {
  server.streams["hashes"] = {1, 600, std::chrono::milliseconds(100)};
  auto molter = MakeMolter();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(molter->Run(nullptr), Molt::kNoHashList);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

// A socket that takes connections into its backlog and never answers.
class SilentServer {
 public:
  SilentServer() : fd_(socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(fd_, 4);
    socklen_t size = sizeof address;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
  }
  ~SilentServer() { close(fd_); }
  int port() const { return port_; }

 private:
  int fd_;
  int port_ = 0;
};

TEST(MolterTimeoutTest, ASilentOrAbsentServerEndsTheRunQuickly) {
  TempFolder temp;
  SilentServer silent;
  Molt::Molter waiting(temp.path(), {},
                       "http://127.0.0.1:" + std::to_string(silent.port()) + "/molter/molter.php");
  EXPECT_EQ(waiting.Run(nullptr), Molt::kNoHashList);
  int closedPort = 0;
  {
    SilentServer gone;
    closedPort = gone.port();
  }
  Molt::Molter absent(temp.path(), {},
                      "http://127.0.0.1:" + std::to_string(closedPort) + "/molter/molter.php");
  EXPECT_EQ(absent.Run(nullptr), Molt::kNoHashList);
}

}  // namespace
}  // namespace molt_test

// Memory the sanitizer keeps back after it is freed (256 MiB by default) would count as the
// updater's own in the peaks measured above.
extern "C" const char* __asan_default_options() { return "quarantine_size_mb=16"; }
