// SPDX-License-Identifier: GPL-3.0-or-later
#include "copilot/extract.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <system_error>

#include "platform/resources.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t kPiece = size_t(8) << 20;

std::atomic<bool> extractionCancelled{false};

std::string ReadSmallFile(const fs::path& path) {
  std::ifstream in(path);
  std::string text;
  std::getline(in, text);
  return text;
}

// The digest written beside the file after a complete write is what lets later starts skip
// the write without reading 190 MB.
bool AlreadyExtracted(const fs::path& target, const platform::Resource& blob) {
  std::error_code error;
  if (fs::file_size(target, error) != blob.size || error) return false;
  return ReadSmallFile(fs::path(target) += ".sha256") == blob.sha256;
}

bool WriteAll(int fd, const unsigned char* data, size_t size) {
  while (size > 0) {
    if (extractionCancelled.load()) return false;
    ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= size_t(n);
  }
  return true;
}

// Written beside the target and renamed over it, so a running CLI keeps its old file and a
// crash never leaves half an executable behind.
bool ReplaceFile(const fs::path& target, const unsigned char* data, size_t size, mode_t mode) {
  std::string temporary = target.string() + ".XXXXXX";
  int fd = mkstemp(temporary.data());
  if (fd < 0) return false;
  bool ok = true;
  for (size_t done = 0; ok && done < size; done += kPiece) {
    size_t piece = std::min(kPiece, size - done);
    ok = WriteAll(fd, data + done, piece);
    // Reading the blob maps it in; kept, it would stay resident for the whole session.
    platform::ReleaseResourcePages(data + done, piece);
  }
  ok = ok && fchmod(fd, mode) == 0 && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  if (ok) ok = rename(temporary.c_str(), target.c_str()) == 0;
  if (!ok) unlink(temporary.c_str());
  return ok;
}

}  // namespace

void CancelExtraction() { extractionCancelled.store(true); }

fs::path CopilotInstallPath() { return platform::UnpackFolder() / "copilot"; }

std::string ExtractCopilot() {
  std::optional<platform::Resource> blob = platform::FindResource("COPILOT_EXE");
  if (!blob || extractionCancelled.load()) return {};
  fs::path target = CopilotInstallPath();
  std::error_code error;
  fs::create_directories(target.parent_path(), error);
  if (!AlreadyExtracted(target, *blob)) {
    fs::path digest = fs::path(target) += ".sha256";
    fs::remove(digest, error);
    if (ReplaceFile(target, blob->data, blob->size, 0755)) {
      std::string text = std::string(blob->sha256) + "\n";
      ReplaceFile(digest, reinterpret_cast<const unsigned char*>(text.data()), text.size(), 0644);
    }
  }
  return target.string();
}

std::string CopilotExecutable() {
  const char* override = getenv("TESSARY_COPILOT_CLI");
  if (override && *override) return override;
  return ExtractCopilot();
}
