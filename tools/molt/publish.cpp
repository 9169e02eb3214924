// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/molt/publish.h"

#include <algorithm>
#include <vector>

#include "molt/difflib.h"
#include "molt/hash_list.h"
#include "molt/names.h"
#include "molt/replacement_file.h"
#include "molt/sha256.h"
#include "molt/zzip.h"

namespace MoltTools {
namespace {

namespace fs = std::filesystem;

bool Failure(std::string* error, std::string why) {
  *error = std::move(why);
  return false;
}

// The block list separates entries with "|"; a name holding one could not be asked for.
bool Publishable(const std::string& name) {
  return name.find('|') == std::string::npos && Molt::IsSafeName(Molt::ToRecordName(name));
}

bool ListFiles(const fs::path& release, std::vector<std::string>& names, std::string* error) {
  std::error_code walkError;
  for (fs::recursive_directory_iterator it(release, walkError), end; it != end && !walkError;
       it.increment(walkError)) {
    if (!it->is_regular_file()) continue;
    const std::string name = it->path().lexically_relative(release).generic_string();
    if (!Publishable(name)) {
      *error = "cannot publish the file name " + name;
      return false;
    }
    names.push_back(name);
  }
  if (walkError) {
    *error = "cannot walk " + release.string() + ": " + walkError.message();
    return false;
  }
  std::sort(names.begin(), names.end());
  return true;
}

bool WriteFile(const fs::path& path, std::span<const std::uint8_t> bytes, std::string* error) {
  std::error_code made;
  fs::create_directories(path.parent_path(), made);
  auto file = Molt::ReplacementFile::Create(path, error, 0644);
  if (!file) return false;
  if (!file->Write(bytes)) {
    *error = "cannot write " + path.string();
    return false;
  }
  return file->Commit(error);
}

bool CopyFile(const fs::path& from, const fs::path& to, std::string* error) {
  std::error_code made;
  fs::create_directories(to.parent_path(), made);
  fs::path temporary = to.parent_path() / ".";
  temporary += to.filename();
  temporary += ".publishing";
  std::error_code copied;
  fs::copy_file(from, temporary, fs::copy_options::overwrite_existing, copied);
  if (!copied) fs::rename(temporary, to, copied);
  if (copied) *error = "cannot copy " + from.string() + ": " + copied.message();
  return !copied;
}

std::optional<Molt::Bytes> ArchiveOf(const std::string& name, const Molt::Bytes& bytes,
                                     const std::string& comment) {
  auto zip = Molt::ZipWriter::CreateInMemory();
  if (!zip || !zip->Add(name, bytes) || (!comment.empty() && !zip->SetComment(comment))) return {};
  return zip->Close();
}

}  // namespace

bool Publish(const fs::path& release, const fs::path& publish, const Molt::SigningKey* key,
             std::string* error) {
  std::vector<std::string> names;
  if (!ListFiles(release, names, error)) return false;
  auto sigs = Molt::ZipWriter::CreateInMemory();
  if (!sigs) return Failure(error, "cannot make an archive");
  std::vector<Molt::HashListItem> items;
  for (const std::string& name : names) {
    const fs::path file = release / name;
    auto hash = Molt::HashFile(file);
    auto signatures = Molt::DIFFLIB::SignFile(file);
    if (!hash || !signatures) return Failure(error, "cannot read " + file.string());
    if (!sigs->Add(name, *signatures)) return Failure(error, "cannot archive " + name);
    items.push_back({name, Molt::ToHex(*hash)});
    if (!CopyFile(file, publish / kFilesFolder / name, error)) return false;
  }
  const std::string xml = Molt::WriteHashList(items);
  const Molt::Bytes xmlBytes = Molt::ToBytes(xml);
  const std::string comment = key != nullptr ? key->SignList(xmlBytes) : std::string();
  if (key != nullptr && comment.empty()) return Failure(error, "cannot sign the hash list");
  const auto sigsBytes = sigs->Close();
  const auto hashesBytes = ArchiveOf(kHashesEntry, xmlBytes, comment);
  if (!sigsBytes || !hashesBytes) return Failure(error, "cannot make the archives");
  return WriteFile(publish / kSigsArchive, *sigsBytes, error) &&
         WriteFile(publish / kHashesArchive, *hashesBytes, error);
}

}  // namespace MoltTools
