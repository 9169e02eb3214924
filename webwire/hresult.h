// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace Webwire {

/// Result of a client call: zero or positive succeeds, negative fails. The values are those
/// the same failures carry on Windows, so callers can pass them on unchanged.
using HRESULT = std::int32_t;

constexpr HRESULT MakeHresult(std::uint32_t bits) { return static_cast<HRESULT>(bits); }

/// The HRESULT that wraps a Windows error number (HRESULT_FROM_WIN32).
constexpr HRESULT HresultFromWin32(std::uint32_t error) {
  return MakeHresult(0x80070000u | (error & 0xFFFFu));
}

constexpr bool Succeeded(HRESULT result) { return result >= 0; }
constexpr bool Failed(HRESULT result) { return result < 0; }

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = MakeHresult(0x80004001u);
inline constexpr HRESULT E_POINTER = MakeHresult(0x80004003u);
inline constexpr HRESULT E_ABORT = MakeHresult(0x80004004u);
inline constexpr HRESULT E_FAIL = MakeHresult(0x80004005u);
inline constexpr HRESULT E_UNEXPECTED = MakeHresult(0x8000FFFFu);
inline constexpr HRESULT E_OUTOFMEMORY = MakeHresult(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = MakeHresult(0x80070057u);

// Why a request could not be sent, as the Windows internet errors name it.
inline constexpr HRESULT E_INTERNET_TIMEOUT = HresultFromWin32(12002);
inline constexpr HRESULT E_INTERNET_INVALID_URL = HresultFromWin32(12005);
inline constexpr HRESULT E_INTERNET_UNRECOGNIZED_SCHEME = HresultFromWin32(12006);
inline constexpr HRESULT E_INTERNET_NAME_NOT_RESOLVED = HresultFromWin32(12007);
inline constexpr HRESULT E_INTERNET_CANNOT_CONNECT = HresultFromWin32(12029);
inline constexpr HRESULT E_INTERNET_CONNECTION_ABORTED = HresultFromWin32(12030);
inline constexpr HRESULT E_INTERNET_CONNECTION_RESET = HresultFromWin32(12031);
inline constexpr HRESULT E_INTERNET_INVALID_CA = HresultFromWin32(12045);
inline constexpr HRESULT E_INTERNET_SEC_CERT_ERRORS = HresultFromWin32(12055);
inline constexpr HRESULT E_HTTP_INVALID_SERVER_RESPONSE = HresultFromWin32(12152);
inline constexpr HRESULT E_INTERNET_SECURITY_CHANNEL_ERROR = HresultFromWin32(12157);

}  // namespace Webwire
