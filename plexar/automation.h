// SPDX-License-Identifier: GPL-3.0-or-later
// Portable stand-ins for the COM automation types the plug-in object's operations use:
// result codes, interface ids, IUnknown/IDispatch, strings, arrays and window handles.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace plexar {

using HRESULT = int32_t;

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
inline constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
inline constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
inline constexpr HRESULT E_ABORT = static_cast<HRESULT>(0x80004004u);
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
inline constexpr HRESULT DISP_E_BADINDEX = static_cast<HRESULT>(0x8002000Bu);

inline bool Succeeded(HRESULT hr) { return hr >= 0; }

struct GUID {
  uint32_t data1;
  uint16_t data2;
  uint16_t data3;
  uint8_t data4[8];

  bool operator==(const GUID& o) const { return std::memcmp(this, &o, sizeof(GUID)) == 0; }
};
using REFIID = const GUID&;

/// A new random version-4 GUID.
GUID NewGuid();
/// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper case, braces included.
std::string GuidToText(const GUID& guid);

inline constexpr GUID IID_IUnknown = {0x00000000, 0x0000, 0x0000,
                                      {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr GUID IID_IDispatch = {0x00020400, 0x0000, 0x0000,
                                       {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

/// Automation string: UTF-8 text, or raw bytes where an operation says so.
using BSTR = std::string;
/// Automation arrays (SAFEARRAY) by element type.
using ByteArray = std::vector<uint8_t>;
using BstrArray = std::vector<BSTR>;
using IntArray = std::vector<int32_t>;
/// A native window handle; no window system is used by the library itself.
using HWND = void*;
using HMENU = void*;

class IUnknown {
 public:
  virtual HRESULT QueryInterface(REFIID iid, void** out) = 0;
  virtual uint32_t AddRef() = 0;
  virtual uint32_t Release() = 0;

 protected:
  ~IUnknown() = default;
};

class IDispatch : public IUnknown {
 public:
  virtual HRESULT GetTypeInfoCount(uint32_t* count) = 0;
  virtual HRESULT GetTypeInfo(uint32_t index, uint32_t locale, void** typeInfo) = 0;
  virtual HRESULT GetIDsOfNames(REFIID iid, const char* const* names, uint32_t count,
                                uint32_t locale, int32_t* ids) = 0;
  virtual HRESULT Invoke(int32_t member, REFIID iid, uint32_t locale, uint16_t flags,
                         void* params, void* result, void* exception, uint32_t* argError) = 0;

 protected:
  ~IDispatch() = default;
};

}  // namespace plexar
