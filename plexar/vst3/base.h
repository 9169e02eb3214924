// SPDX-License-Identifier: GPL-3.0-or-later
// VST 3 binary interface, basic layer: primitive types, result codes, interface ids,
// FUnknown, the plug-in factory and the byte stream. Usable by hosts and plug-ins alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace plexar::vst3 {

using int8 = char;
using uint8 = uint8_t;
using int16 = int16_t;
using uint16 = uint16_t;
using int32 = int32_t;
using uint32 = uint32_t;
using int64 = int64_t;
using uint64 = uint64_t;
using TSize = int64;
using tresult = int32;
using TBool = uint8;
using char8 = char;
// UTF-16 code unit; wchar_t is 4 bytes on Linux and would break every string field.
using char16 = char16_t;
using tchar = char16;
using FIDString = const char8*;
using TUID = char[16];

// Linux builds use the non-COM result set; Windows HRESULT values would be wrong here.
enum : tresult {
  kNoInterface = -1,
  kResultOk = 0,
  kResultTrue = 0,
  kResultFalse = 1,
  kInvalidArgument = 2,
  kNotImplemented = 3,
  kInternalError = 4,
  kNotInitialized = 5,
  kOutOfMemory = 6,
};

/// A 16-byte interface or class id in Linux memory order: the four numbers most-significant
/// byte first, one after another.
struct Uid {
  char bytes[16];

  constexpr const char* data() const { return bytes; }
  bool operator==(const Uid& other) const { return std::memcmp(bytes, other.bytes, 16) == 0; }
  bool Matches(const char* raw) const { return raw && std::memcmp(bytes, raw, 16) == 0; }
};

constexpr Uid MakeUid(uint32 l1, uint32 l2, uint32 l3, uint32 l4) {
  Uid uid{};
  const uint32 parts[4] = {l1, l2, l3, l4};
  for (int i = 0; i < 4; ++i) {
    for (int b = 0; b < 4; ++b) {
      uid.bytes[i * 4 + b] = static_cast<char>((parts[i] >> (24 - 8 * b)) & 0xFF);
    }
  }
  return uid;
}

class FUnknown {
 public:
  static constexpr Uid iid = MakeUid(0x00000000, 0x00000000, 0xC0000000, 0x00000046);
  virtual tresult queryInterface(const TUID iid, void** obj) = 0;
  virtual uint32 addRef() = 0;
  virtual uint32 release() = 0;
};

class IPluginBase : public FUnknown {
 public:
  static constexpr Uid iid = MakeUid(0x22888DDB, 0x156E45AE, 0x8358B348, 0x08190625);
  virtual tresult initialize(FUnknown* context) = 0;
  virtual tresult terminate() = 0;
};

struct PFactoryInfo {
  enum : int32 { kNoFlags = 0, kClassesDiscardable = 1, kLicenseCheck = 2,
                 kComponentNonDiscardable = 8, kUnicode = 16 };
  enum { kURLSize = 256, kEmailSize = 128, kNameSize = 64 };
  char8 vendor[kNameSize];
  char8 url[kURLSize];
  char8 email[kEmailSize];
  int32 flags;
};

struct PClassInfo {
  enum : int32 { kManyInstances = 0x7FFFFFFF };
  enum { kCategorySize = 32, kNameSize = 64 };
  TUID cid;
  int32 cardinality;
  char8 category[kCategorySize];
  char8 name[kNameSize];
};

struct PClassInfo2 {
  enum { kVendorSize = 64, kVersionSize = 64, kSubCategoriesSize = 128 };
  TUID cid;
  int32 cardinality;
  char8 category[PClassInfo::kCategorySize];
  char8 name[PClassInfo::kNameSize];
  uint32 classFlags;
  char8 subCategories[kSubCategoriesSize];
  char8 vendor[kVendorSize];
  char8 version[kVersionSize];
  char8 sdkVersion[kVersionSize];
};

struct PClassInfoW {
  TUID cid;
  int32 cardinality;
  char8 category[PClassInfo::kCategorySize];
  char16 name[PClassInfo::kNameSize];
  uint32 classFlags;
  char8 subCategories[PClassInfo2::kSubCategoriesSize];
  char16 vendor[PClassInfo2::kVendorSize];
  char16 version[PClassInfo2::kVersionSize];
  char16 sdkVersion[PClassInfo2::kVersionSize];
};

class IPluginFactory : public FUnknown {
 public:
  static constexpr Uid iid = MakeUid(0x7A4D811C, 0x52114A1F, 0xAED9D2EE, 0x0B43BF9F);
  virtual tresult getFactoryInfo(PFactoryInfo* info) = 0;
  virtual int32 countClasses() = 0;
  virtual tresult getClassInfo(int32 index, PClassInfo* info) = 0;
  // Both ids are raw 16-byte TUIDs despite the FIDString type.
  virtual tresult createInstance(FIDString cid, FIDString iid, void** obj) = 0;
};

class IPluginFactory2 : public IPluginFactory {
 public:
  static constexpr Uid iid = MakeUid(0x0007B650, 0xF24B4C0B, 0xA464EDB9, 0xF00B2ABB);
  virtual tresult getClassInfo2(int32 index, PClassInfo2* info) = 0;
};

class IPluginFactory3 : public IPluginFactory2 {
 public:
  static constexpr Uid iid = MakeUid(0x4555A2AB, 0xC1234E57, 0x9B122910, 0x36878931);
  virtual tresult getClassInfoUnicode(int32 index, PClassInfoW* info) = 0;
  virtual tresult setHostContext(FUnknown* context) = 0;
};

class IBStream : public FUnknown {
 public:
  static constexpr Uid iid = MakeUid(0xC3BF6EA2, 0x30994752, 0x9B6BF990, 0x1EE33E9B);
  enum : int32 { kIBSeekSet = 0, kIBSeekCur = 1, kIBSeekEnd = 2 };
  virtual tresult read(void* buffer, int32 numBytes, int32* numBytesRead) = 0;
  virtual tresult write(void* buffer, int32 numBytes, int32* numBytesWritten) = 0;
  virtual tresult seek(int64 pos, int32 mode, int64* result) = 0;
  virtual tresult tell(int64* pos) = 0;
};

class ISizeableStream : public FUnknown {
 public:
  static constexpr Uid iid = MakeUid(0x04F9549E, 0xE02F4E6E, 0x87E86A87, 0x47F4E17F);
  virtual tresult getStreamSize(int64& size) = 0;
  virtual tresult setStreamSize(int64 size) = 0;
};

inline constexpr const char* kVstAudioEffectClass = "Audio Module Class";
inline constexpr const char* kVstComponentControllerClass = "Component Controller Class";
inline constexpr const char* kPlatformTypeHWND = "HWND";
inline constexpr const char* kPlatformTypeX11EmbedWindowID = "X11EmbedWindowID";

/// Exported by every module: `GetPluginFactory`, `ModuleEntry(handle)`, `ModuleExit()`.
using GetFactoryProc = IPluginFactory* (*)();
using ModuleEntryProc = bool (*)(void*);
using ModuleExitProc = bool (*)();

static_assert(sizeof(FUnknown) == 8);
static_assert(sizeof(PFactoryInfo) == 452 && offsetof(PFactoryInfo, url) == 64 &&
              offsetof(PFactoryInfo, email) == 320 && offsetof(PFactoryInfo, flags) == 448);
static_assert(sizeof(PClassInfo) == 116 && offsetof(PClassInfo, cardinality) == 16 &&
              offsetof(PClassInfo, category) == 20 && offsetof(PClassInfo, name) == 52);
static_assert(sizeof(PClassInfo2) == 440 && offsetof(PClassInfo2, classFlags) == 116 &&
              offsetof(PClassInfo2, subCategories) == 120 && offsetof(PClassInfo2, vendor) == 248 &&
              offsetof(PClassInfo2, version) == 312 && offsetof(PClassInfo2, sdkVersion) == 376);
static_assert(sizeof(PClassInfoW) == 696 && offsetof(PClassInfoW, name) == 52 &&
              offsetof(PClassInfoW, classFlags) == 180 && offsetof(PClassInfoW, subCategories) == 184 &&
              offsetof(PClassInfoW, vendor) == 312 && offsetof(PClassInfoW, version) == 440 &&
              offsetof(PClassInfoW, sdkVersion) == 568);
// Byte order of ids: the four numbers most-significant byte first (non-COM layout).
static_assert(FUnknown::iid.bytes[8] == static_cast<char>(0xC0) && FUnknown::iid.bytes[15] == 0x46);
static_assert(IBStream::iid.bytes[0] == static_cast<char>(0xC3) &&
              IBStream::iid.bytes[3] == static_cast<char>(0xA2));

}  // namespace plexar::vst3
