// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/molt/update_server.h"

#include <fcntl.h>
#include <httplib.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <map>

#include "common/text.h"
#include "molt/hash_list.h"
#include "molt/molter.h"
#include "molt/zzip.h"
#include "tools/molt/block_list.h"
#include "tools/molt/publish.h"

namespace MoltTools {
namespace {

namespace fs = std::filesystem;

std::optional<Molt::Bytes> ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  Molt::Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return bytes;
}

// The published names, lower-cased, to their names as published: a client may ask for a
// name in another letter case, and only listed files are ever read.
std::optional<std::map<std::string, std::string>> PublishedNames(const fs::path& publish) {
  const auto archive = ReadAll(publish / kHashesArchive);
  if (!archive) return std::nullopt;
  const auto zip = Molt::ZipReader::Open(*archive);
  if (!zip || zip->entries().size() != 1) return std::nullopt;
  const auto xml = zip->Read(zip->entries().front(), archive->size() * 1000 + 1024);
  const auto items = xml ? Molt::ReadHashList(*xml) : std::nullopt;
  if (!items) return std::nullopt;
  std::map<std::string, std::string> names;
  for (const auto& item : *items) names[common::ToLowerAscii(item.n)] = item.n;
  return names;
}

bool ReadRange(const fs::path& path, const BlockRequest& request, Molt::Bytes& out) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const off_t size = lseek(fd, 0, SEEK_END);
  std::uint64_t offset = request.whole ? 0 : request.offset;
  std::uint64_t length = request.whole ? static_cast<std::uint64_t>(size) : request.length;
  bool ok = size >= 0 && offset <= static_cast<std::uint64_t>(size) &&
            length <= static_cast<std::uint64_t>(size) - offset && length <= kLargestPatch;
  if (ok) out.resize(length);
  std::uint64_t done = 0;
  while (ok && done < length) {
    const ssize_t got =
        pread(fd, out.data() + done, length - done, static_cast<off_t>(offset + done));
    ok = got > 0;
    if (ok) done += static_cast<std::uint64_t>(got);
  }
  close(fd);
  return ok;
}

// The blocks asked for, each an entry named by its index; nothing (and `status` says why)
// for a list that is malformed, names an unlisted file, or asks for too much.
std::optional<Molt::Bytes> BuildPatch(const fs::path& publish, std::string_view list, int& status) {
  status = 400;
  const auto requests = ParseBlockList(list);
  const auto names = PublishedNames(publish);
  if (!names) status = 503;
  if (!requests || !names) return std::nullopt;
  auto zip = Molt::ZipWriter::CreateInMemory();
  std::uint64_t total = 0;
  for (const BlockRequest& request : *requests) {
    const auto found = names->find(common::ToLowerAscii(request.name));
    if (found == names->end()) return std::nullopt;
    Molt::Bytes block;
    if (!ReadRange(publish / kFilesFolder / found->second, request, block)) return std::nullopt;
    total += block.size();
    if (total > kLargestPatch) {
      status = 413;
      return std::nullopt;
    }
    // Fastest compression: the client waits for the first byte of the answer.
    if (!zip || !zip->Add(std::to_string(request.index), block, 1)) {
      status = 500;
      return std::nullopt;
    }
  }
  status = 200;
  auto bytes = zip->Close();
  if (!bytes) status = 500;
  return bytes;
}

}  // namespace

UpdateServer::UpdateServer(fs::path publish, LogLine log)
    : publish_(std::move(publish)),
      log_(std::move(log)),
      http_(std::make_unique<httplib::Server>()) {
  Route();
}

UpdateServer::~UpdateServer() { Stop(); }

void UpdateServer::Route() {
  http_->set_payload_max_length(kLongestBlockList);
  // An update is three requests in a row; idle connections need not hold Stop up long.
  http_->set_keep_alive_timeout(2);
  auto answer = [this](const httplib::Request& request, httplib::Response& response) {
    if (request.get_param_value("k") != Molt::kProductId) {
      response.status = 403;
      return;
    }
    const std::string word = request.get_param_value("f");
    std::optional<Molt::Bytes> body;
    int status = 404;
    if (word == "hashes" || word == "sigs") {
      body = ReadAll(publish_ / (word == "hashes" ? kHashesArchive : kSigsArchive));
      status = body ? 200 : 503;
    } else if (word == "patch") {
      body = BuildPatch(publish_, request.body, status);
    }
    response.status = status;
    if (body && status == 200) {
      response.set_content(std::string(body->begin(), body->end()), "application/zip");
    }
  };
  http_->Get(R"(/molter/molter\.php)", answer);
  http_->Post(R"(/molter/molter\.php)", answer);
  http_->set_logger([this](const httplib::Request& request, const httplib::Response& response) {
    if (!log_) return;
    const std::string line = request.remote_addr + ' ' + request.method + ' ' +
                             request.get_param_value("f") + ' ' + std::to_string(response.status) +
                             ' ' + std::to_string(response.body.size()) + " bytes";
    std::lock_guard lock(logLock_);
    log_(line);
  });
}

bool UpdateServer::Start(int port, const std::string& host) {
  port_ = port == 0 ? http_->bind_to_any_port(host) : (http_->bind_to_port(host, port) ? port : -1);
  if (port_ <= 0) return false;
  thread_ = std::thread([this] { http_->listen_after_bind(); });
  return true;
}

void UpdateServer::Stop() {
  http_->stop();
  if (thread_.joinable()) thread_.join();
}

std::string UpdateServer::Endpoint() const {
  return "http://127.0.0.1:" + std::to_string(port_) + "/molter/molter.php";
}

}  // namespace MoltTools
