// SPDX-License-Identifier: GPL-3.0-or-later
// ZIP archives through libzip: read from memory, written to a file or to memory.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "molt/bytes.h"

typedef struct zip zip_t;

namespace Molt {

/// An archive held in memory, read only. The bytes must outlive the reader.
class ZipReader {
 public:
  struct Entry {
    std::string name;  // as stored, UTF-8
    bool folder = false;
    std::uint64_t size = 0;  // uncompressed, as the archive states it
    std::uint64_t index = 0;
  };

  /// Nothing when the bytes are no readable archive.
  static std::unique_ptr<ZipReader> Open(std::span<const std::uint8_t> bytes);
  /// The archive in an open file, read where it lies. Takes the descriptor over when it
  /// succeeds; nothing (and the descriptor still the caller's) when it is no archive.
  static std::unique_ptr<ZipReader> OpenDescriptor(int fd);
  ~ZipReader();
  ZipReader(const ZipReader&) = delete;
  ZipReader& operator=(const ZipReader&) = delete;

  const std::vector<Entry>& entries() const { return entries_; }
  /// The most bytes all reads together may inflate: a small archive can hold many entries
  /// that each inflate to the limit of one.
  void LimitInflation(std::uint64_t total) { budget_ = total; }
  /// The whole entry; nothing when it cannot be read, fails its check or would hold more
  /// than `limit` bytes (whatever its header claims).
  std::optional<Bytes> Read(const Entry& entry, std::uint64_t limit) const;
  /// The same, handed to `sink` piece by piece without holding the entry; false on any
  /// failure, also the sink's.
  bool ReadTo(const Entry& entry, std::uint64_t limit,
              const std::function<bool(std::span<const std::uint8_t>)>& sink) const;
  /// The archive's comment, empty when it has none.
  std::string Comment() const;

 private:
  explicit ZipReader(zip_t* archive) : archive_(archive) {}
  static std::unique_ptr<ZipReader> ListEntries(zip_t* archive);
  zip_t* archive_;
  std::vector<Entry> entries_;
  std::uint64_t budget_ = ~std::uint64_t{0};
  mutable std::uint64_t inflated_ = 0;
};

/// A new archive, written when Close succeeds: to a file, or kept in memory.
class ZipWriter {
 public:
  /// Nothing when the archive cannot be started (for a file: cannot be created).
  static std::unique_ptr<ZipWriter> CreateFile(const std::filesystem::path& path);
  static std::unique_ptr<ZipWriter> CreateInMemory();
  ~ZipWriter();
  ZipWriter(const ZipWriter&) = delete;
  ZipWriter& operator=(const ZipWriter&) = delete;

  /// Adds an entry; `level` 1 compresses fastest, 9 smallest, 0 stores it as it is.
  bool Add(std::string_view name, std::span<const std::uint8_t> bytes, int level = 6);
  bool SetComment(std::string_view comment);
  /// Finishes the archive. In memory: the archive's bytes; for a file: empty bytes.
  std::optional<Bytes> Close();

 private:
  struct Source;
  ZipWriter(zip_t* archive, Source* source) : archive_(archive), memory_(source) {}
  zip_t* archive_;
  Source* memory_;
};

}  // namespace Molt
