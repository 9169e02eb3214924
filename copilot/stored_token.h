// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

/// The credential that holds the GitHub access token the CLI is started with.
inline constexpr const char* kTokenTarget = "Tessary_AccessToken";
inline constexpr const char* kTokenUser = "Tessary";

/// The stored token; empty when there is none (or the store cannot be read).
std::string ReadStoredToken();
/// Stores `token` as the credential; false (with the reason in `error`) when it could not be
/// written.
bool StoreToken(const std::string& token, std::string* error = nullptr);
/// Removes the credential; a missing one is no failure.
void DeleteStoredToken();
