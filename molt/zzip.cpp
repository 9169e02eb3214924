// SPDX-License-Identifier: GPL-3.0-or-later
#include "molt/zzip.h"

#include <zip.h>

#include <cstdlib>
#include <cstring>

namespace Molt {
namespace {

constexpr std::size_t kReadPiece = 1 << 16;

}  // namespace

struct ZipWriter::Source {
  zip_source_t* source;
};

std::unique_ptr<ZipReader> ZipReader::Open(std::span<const std::uint8_t> bytes) {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
  if (source == nullptr) return nullptr;
  zip_t* archive = zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error);
  zip_error_fini(&error);
  if (archive == nullptr) {
    zip_source_free(source);
    return nullptr;
  }
  return ListEntries(archive);
}

std::unique_ptr<ZipReader> ZipReader::OpenDescriptor(int fd) {
  int error = 0;
  zip_t* archive = zip_fdopen(fd, ZIP_RDONLY | ZIP_CHECKCONS, &error);
  if (archive == nullptr) return nullptr;
  return ListEntries(archive);
}

std::unique_ptr<ZipReader> ZipReader::ListEntries(zip_t* archive) {
  std::unique_ptr<ZipReader> reader(new ZipReader(archive));
  const zip_int64_t count = zip_get_num_entries(archive, 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &stat) != 0 ||
        (stat.valid & ZIP_STAT_NAME) == 0 || (stat.valid & ZIP_STAT_SIZE) == 0) {
      return nullptr;
    }
    Entry entry;
    entry.name = stat.name;
    entry.folder = !entry.name.empty() && entry.name.back() == '/';
    entry.size = stat.size;
    entry.index = static_cast<std::uint64_t>(i);
    reader->entries_.push_back(std::move(entry));
  }
  return reader;
}

ZipReader::~ZipReader() { zip_discard(archive_); }

std::optional<Bytes> ZipReader::Read(const Entry& entry, std::uint64_t limit) const {
  Bytes bytes;
  if (entry.size <= limit && entry.size <= budget_ - inflated_) bytes.reserve(entry.size);
  const bool read = ReadTo(entry, limit, [&](std::span<const std::uint8_t> piece) {
    bytes.insert(bytes.end(), piece.begin(), piece.end());
    return true;
  });
  if (!read) return std::nullopt;
  return bytes;
}

bool ZipReader::ReadTo(const Entry& entry, std::uint64_t limit,
                       const std::function<bool(std::span<const std::uint8_t>)>& sink) const {
  if (entry.size > limit || entry.size > budget_ - inflated_) return false;
  // Counted before reading: a failed read must not leave room for the next.
  inflated_ += entry.size;
  zip_file_t* file = zip_fopen_index(archive_, entry.index, 0);
  if (file == nullptr) return false;
  auto piece = std::make_unique<std::uint8_t[]>(kReadPiece);
  std::uint64_t done = 0;
  bool ok = true;
  for (;;) {
    const zip_int64_t got = zip_fread(file, piece.get(), kReadPiece);
    if (got < 0) ok = false;
    if (got <= 0) break;
    if (done + static_cast<std::uint64_t>(got) > entry.size) {
      ok = false;  // more than the header said: no telling where it ends
      break;
    }
    done += static_cast<std::uint64_t>(got);
    if (!sink(std::span<const std::uint8_t>(piece.get(), static_cast<std::size_t>(got)))) {
      ok = false;
      break;
    }
  }
  zip_fclose(file);
  return ok && done == entry.size;
}

std::string ZipReader::Comment() const {
  int length = 0;
  const char* comment = zip_get_archive_comment(archive_, &length, ZIP_FL_ENC_RAW);
  return comment != nullptr && length > 0 ? std::string(comment, static_cast<std::size_t>(length))
                                          : std::string();
}

std::unique_ptr<ZipWriter> ZipWriter::CreateFile(const std::filesystem::path& path) {
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (archive == nullptr) return nullptr;
  return std::unique_ptr<ZipWriter>(new ZipWriter(archive, nullptr));
}

std::unique_ptr<ZipWriter> ZipWriter::CreateInMemory() {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(nullptr, 0, 0, &error);
  if (source == nullptr) return nullptr;
  zip_t* archive = zip_open_from_source(source, ZIP_TRUNCATE, &error);
  zip_error_fini(&error);
  if (archive == nullptr) {
    zip_source_free(source);
    return nullptr;
  }
  // Kept past zip_close, which writes the archive into it.
  zip_source_keep(source);
  return std::unique_ptr<ZipWriter>(new ZipWriter(archive, new Source{source}));
}

ZipWriter::~ZipWriter() {
  if (archive_ != nullptr) zip_discard(archive_);
  if (memory_ != nullptr) zip_source_free(memory_->source);
  delete memory_;
}

bool ZipWriter::Add(std::string_view name, std::span<const std::uint8_t> bytes, int level) {
  // libzip reads the data only at zip_close; it gets its own copy to free then.
  void* copy = bytes.empty() ? nullptr : std::malloc(bytes.size());
  if (copy == nullptr && !bytes.empty()) return false;
  if (copy != nullptr) std::memcpy(copy, bytes.data(), bytes.size());
  zip_source_t* data = zip_source_buffer(archive_, copy, bytes.size(), copy != nullptr ? 1 : 0);
  if (data == nullptr) {
    std::free(copy);
    return false;
  }
  const std::string entryName(name);
  const zip_int64_t index = zip_file_add(archive_, entryName.c_str(), data, ZIP_FL_ENC_UTF_8);
  if (index < 0) {
    zip_source_free(data);
    return false;
  }
  if (level == 0) return zip_set_file_compression(archive_, static_cast<zip_uint64_t>(index),
                                                  ZIP_CM_STORE, 0) == 0;
  return zip_set_file_compression(archive_, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE,
                                  static_cast<zip_uint32_t>(level)) == 0;
}

bool ZipWriter::SetComment(std::string_view comment) {
  if (comment.size() > 0xffff) return false;
  return zip_set_archive_comment(archive_, comment.data(),
                                 static_cast<zip_uint16_t>(comment.size())) == 0;
}

std::optional<Bytes> ZipWriter::Close() {
  zip_t* archive = archive_;
  archive_ = nullptr;
  if (zip_close(archive) != 0) {
    zip_discard(archive);
    return std::nullopt;
  }
  Bytes bytes;
  if (memory_ == nullptr) return bytes;
  zip_source_t* source = memory_->source;
  zip_stat_t stat;
  zip_stat_init(&stat);
  if (zip_source_stat(source, &stat) != 0 || zip_source_open(source) != 0) return std::nullopt;
  bytes.resize(stat.size);
  const zip_int64_t got = zip_source_read(source, bytes.data(), bytes.size());
  zip_source_close(source);
  if (got < 0 || static_cast<std::uint64_t>(got) != stat.size) return std::nullopt;
  return bytes;
}

}  // namespace Molt
