// SPDX-License-Identifier: GPL-3.0-or-later
// The updater: compares the installation with the update server's hash list and rebuilds
// changed files from the blocks the local copy already has and the blocks it downloads.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "molt/bytes.h"
#include "molt/difflib.h"
#include "molt/file_filter.h"
#include "molt/update_request.h"
#include "molt/zzip.h"
#include "webwire/rest_client.h"

namespace Molt {

inline constexpr std::string_view kProductId = "7D2B19E4-3C5A-4E81-9F06-B8A4C2D17E95";
inline constexpr std::string_view kOldSuffix = ".{1DAE2EA5-922C-4049-AD37-0AA3E0EE7DC1}.old";

/// Access refused: a name from the server that would leave the installation folder, an
/// archive entry that cannot be read, a hash list whose signature does not hold.
inline constexpr HRESULT E_ACCESSDENIED = Webwire::HresultFromWin32(5);

/// Results of Run.
enum MoltResult : std::int32_t {
  kUpdatedInUse = 0,  // updated; a file this process runs takes effect at the next start
  kNothingDiffers = 1,
  kOnlyFilteredDiffer = 2,
  kUpdated = 4,
  kNoHashList = -1,
  kLocalUnreadable = -2,
  kNoSignatures = 253,
  kLocalSigsNotMade = 252,
  kLocalSigsNotRead = 251,
  kCompareFailed = 250,
  kDownloadFailed = 249,
  kRebuildFailed = 248,
};

/// Stage codes handed to the progress callable.
inline constexpr int kStageHashes = 5;
inline constexpr int kStageSigs = 4;
inline constexpr int kStagePatch = 1;

using MoltProgress =
    std::function<void(int stage, std::uint64_t done, std::int64_t total, std::uintptr_t value)>;

/// One block to download; offset 0 and length kWholeFile ask for the whole file.
struct UpdateRequest {
  std::uint32_t index = 0;
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
  /// Where the downloaded block lies in the patch archive; it is inflated only when written.
  std::optional<ZipReader::Entry> data;
};
inline constexpr std::uint64_t kWholeFile = ~std::uint64_t{0};

/// One file of the installation.
struct UpdateFile {
  std::string name;  // relative to the folder, "\" between parts
  Bytes localSigs;
  Bytes remoteSigs;
  Bytes localHash;
  Bytes remoteHash;
  std::vector<DIFFLIB::RdcNeed> needs;
  std::vector<UpdateRequest> requests;
  bool rebuild = false;  // chosen by BuildRequests
};

/// What one run accepts from the server, and how long it waits. Each limit holds for what is
/// received and for what its archive inflates to, all entries together; the patch is kept in a temporary file, so only the signatures are held in
/// memory (received and inflated: at most 64 MiB).
struct MoltLimits {
  std::uint64_t hashesAnswer = 4ull << 20;
  /// Files a hash list may name: a list of short names costs work per name, not per byte.
  std::uint64_t hashesEntries = 500000;
  std::uint64_t sigsAnswer = 32ull << 20;
  std::uint64_t patchAnswer = 1ull << 30;
  std::uint64_t rebuiltFile = 4ull << 30;
  /// The hash list is asked for at every start: an unreachable, silent or trickling server
  /// must not hold the start up for longer, in all.
  std::chrono::milliseconds hashesTimeout{2000};
  /// Signatures and blocks are only asked for once an update is under way.
  std::chrono::milliseconds downloadTimeout{30000};
};

/// One update run: construct, Run once, drop. Runs on one thread; makes blocking requests.
class Molter {
 public:
  /// `endpoint` is the server's URL ("https://host/molter/molter.php"); `publicKey` (32
  /// bytes, or empty) is the key the hash list must be signed with.
  Molter(std::filesystem::path folder, MoltProgress progress, std::string endpoint,
         Bytes publicKey = {});

  /// The whole update; a MoltResult.
  std::int32_t Run(const FileFilter* filter);

  HRESULT GetRemoteHashes();
  HRESULT GetLocalHashes();
  /// Empty path: the server's signatures; else those in the archive at the path.
  HRESULT GetSigs(const std::filesystem::path& zipPath);
  HRESULT MakeSigsZip(const std::filesystem::path& zipPath, const FileFilter* filter);
  /// The number of files to rebuild, or -1.
  int BuildRequests(const FileFilter* filter);
  HRESULT RequestDownload(const FileFilter* filter);
  HRESULT ApplyPatches();
  /// The record named `name` in any letter case and with either separator; with `add`, a
  /// new one when there is none. None for a name that would leave the folder.
  UpdateFile* FindFile(std::string_view name, bool add);

  std::string endpoint;
  std::filesystem::path folder;
  std::string productId{kProductId};
  Bytes remoteSigsZip;
  Bytes remoteHashesZip;
  MoltProgress progress;
  std::uintptr_t progressValue = 0;
  std::deque<UpdateFile> files;
  bool verbose = false;
  bool movedAside = false;
  std::string oldSuffix{kOldSuffix};
  Bytes publicKey;
  MoltLimits limits;
  /// Where local hashes are remembered between runs; empty: nowhere.
  std::filesystem::path hashStore;
  /// Bytes received by this run, all requests together.
  std::uint64_t received = 0;

 private:
  // Lower-case record name to record, so that a long list is read in linear time; kept up
  // with `files` (which only grows) by FindFile.
  std::unordered_map<std::string, UpdateFile*> byName_;

  UpdateCall CallFor(std::string_view word, std::string_view body, int stage);
  HRESULT Fetch(std::string_view word, std::string_view body, int stage, Bytes& answer);
  HRESULT FetchPatch(std::string_view list);
  HRESULT ReadHashArchive();
  HRESULT RebuildFile(UpdateFile& file);
  void DeleteMovedAside();

  Webwire::rest_client client_;
  /// The downloaded blocks, in a temporary file, until they are written.
  std::unique_ptr<ZipReader> patch_;
};

}  // namespace Molt
