// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace platform {

/// One stored secret and the user it belongs to.
struct Credential {
  std::string user;
  std::string secret;
};

/// A small file of secrets keyed by target name, readable by its owner only.
///
/// File format (text, one credential per line, fields separated by one tab):
///   tessary-credentials 1
///   <target> TAB <user> TAB <secret in standard Base64>
/// Targets and users are printable text without tabs; the secret may hold any bytes. A file
/// that does not match this exactly (bad header, wrong field count, bad Base64, a target twice,
/// larger than 1 MiB) counts as empty: it reads as "no credential", and the next write
/// replaces it.
///
/// Writes go to a temporary file in the same folder that is flushed to disk and then renamed
/// over the old file, so a crash leaves either the old or the new file, never a mix. The
/// folder is made 0700 and the file 0600. Read-modify-write cycles of several processes are
/// serialised with a lock on the folder. Any thread may call any method.
///
/// As ssh does with its keys, the store is used only when the file (if it exists) and its
/// folder belong to the user and no one else may write them, and the file is no symbolic
/// link; otherwise every method refuses and says why: a planted file could hold a token of
/// someone else's choosing, and through a link the token would be read, and /logout would
/// remove only the link.
class CredentialStore {
 public:
  explicit CredentialStore(std::filesystem::path file) : file_(std::move(file)) {}

  const std::filesystem::path& File() const { return file_; }

  /// True when the store may be used; otherwise `problem` says why not.
  bool Trusted(std::string* problem = nullptr) const;

  /// Nothing when the target is not stored or the store is refused; then `problem` says why.
  std::optional<Credential> Read(const std::string& target, std::string* problem = nullptr) const;
  /// False (with the reason in `error`) when the target or user cannot be stored or the file
  /// could not be written; the old file then stays as it was.
  bool Write(const std::string& target, const Credential& credential,
             std::string* error = nullptr) const;
  /// Removes the target; the file goes when its last credential does. False only when the
  /// file could not be rewritten or the store is refused.
  bool Delete(const std::string& target, std::string* error = nullptr) const;

 private:
  std::filesystem::path file_;
};

/// $XDG_CONFIG_HOME/tessary/credentials, with ~/.config in place of an unset or relative
/// XDG_CONFIG_HOME.
std::filesystem::path DefaultCredentialFile();

/// The store at DefaultCredentialFile(), as the environment names it at the time of the call.
CredentialStore DefaultCredentialStore();

}  // namespace platform
