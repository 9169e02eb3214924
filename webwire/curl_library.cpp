// SPDX-License-Identifier: GPL-3.0-or-later
#include "webwire/curl_library.h"

#include <dlfcn.h>

#include <memory>
#include <string>

#include "common/debug.h"

namespace Webwire::detail {
namespace {

template <typename Function>
bool Bind(void* handle, const char* name, Function& slot) {
  slot = reinterpret_cast<Function>(dlsym(handle, name));
  return slot != nullptr;
}

std::unique_ptr<curl_library> Load() {
  // Never closed: libcurl keeps process-wide state, and handles may outlive any owner here.
  void* handle = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* why = dlerror();
    common::DebugLine(std::string("webwire: cannot load libcurl: ") + (why != nullptr ? why : "?"));
    return nullptr;
  }
  auto curl = std::make_unique<curl_library>();
  const bool bound =
      Bind(handle, "curl_global_init", curl->global_init) &&
      Bind(handle, "curl_easy_init", curl->easy_init) &&
      Bind(handle, "curl_easy_cleanup", curl->easy_cleanup) &&
      Bind(handle, "curl_easy_setopt", curl->easy_setopt) &&
      Bind(handle, "curl_easy_getinfo", curl->easy_getinfo) &&
      Bind(handle, "curl_free", curl->free) &&
      Bind(handle, "curl_multi_init", curl->multi_init) &&
      Bind(handle, "curl_multi_cleanup", curl->multi_cleanup) &&
      Bind(handle, "curl_multi_add_handle", curl->multi_add_handle) &&
      Bind(handle, "curl_multi_remove_handle", curl->multi_remove_handle) &&
      Bind(handle, "curl_multi_perform", curl->multi_perform) &&
      Bind(handle, "curl_multi_poll", curl->multi_poll) &&
      Bind(handle, "curl_multi_info_read", curl->multi_info_read) &&
      Bind(handle, "curl_slist_append", curl->slist_append) &&
      Bind(handle, "curl_slist_free_all", curl->slist_free_all) &&
      Bind(handle, "curl_url", curl->url) &&
      Bind(handle, "curl_url_cleanup", curl->url_cleanup) &&
      Bind(handle, "curl_url_get", curl->url_get) &&
      Bind(handle, "curl_url_set", curl->url_set);
  if (!bound) {
    common::DebugLine("webwire: libcurl.so.4 lacks an entry point this program needs");
    return nullptr;
  }
  // Not thread-safe itself, and sign-in runs its requests on a thread of its own: the static
  // below makes the first caller of any thread do it, once.
  if (curl->global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) return nullptr;
  return curl;
}

}  // namespace

const curl_library* Curl() {
  static const std::unique_ptr<curl_library> library = Load();
  return library.get();
}

}  // namespace Webwire::detail
