// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

/// The credential that holds the GitHub access token the CLI is started with.
inline constexpr const char* kTokenTarget = "Tessary_AccessToken";
inline constexpr const char* kTokenUser = "Tessary";

/// Tokens are far shorter; a longer one from a sign-in server is refused, not stored (it
/// would no longer fit the CLI's environment at the next start).
inline constexpr size_t kMaxTokenSize = 4096;

/// The stored token; empty when there is none, or when the store is refused (then `problem`
/// says why).
std::string ReadStoredToken(std::string* problem = nullptr);
/// Stores `token` as the credential; false (with the reason in `error`) when it is too long,
/// the store is refused or it could not be written.
bool StoreToken(const std::string& token, std::string* error = nullptr);
/// Removes the credential; a missing one is no failure. False (with the reason) when the
/// store is refused or could not be rewritten.
bool DeleteStoredToken(std::string* error = nullptr);
/// Why the store may not be used, or empty.
std::string StoredTokenProblem();
