// SPDX-License-Identifier: GPL-3.0-or-later
// What molt-publish does: turns a release folder into what molt-server serves.
//   PUBLISH/hashes.zip  one entry, "hashes.xml": every file's relative name and SHA-256,
//                       signed in the archive comment when a key is given
//   PUBLISH/sigs.zip    one entry per file: its chunk signatures
//   PUBLISH/files/...   the files themselves, for the blocks clients ask for
#pragma once

#include <filesystem>
#include <string>

#include "molt/list_signature.h"

namespace MoltTools {

inline constexpr char kHashesArchive[] = "hashes.zip";
inline constexpr char kSigsArchive[] = "sigs.zip";
inline constexpr char kFilesFolder[] = "files";
inline constexpr char kHashesEntry[] = "hashes.xml";

/// Publishes every regular file below `release`; `key` may be null (an unsigned list).
/// The hash list goes last, so a client never sees a list whose files are not there yet.
/// False, with `error` saying why, when something could not be read or written.
bool Publish(const std::filesystem::path& release, const std::filesystem::path& publish,
             const Molt::SigningKey* key, std::string* error);

}  // namespace MoltTools
