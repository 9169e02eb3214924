// SPDX-License-Identifier: GPL-3.0-or-later
// libcurl, opened on first use. Linking it would make every start load and relocate the TLS,
// LDAP, SSH and Kerberos libraries it depends on, most of a chat start's time, though many
// sessions never make a request of their own. Internal to the webwire library.
#pragma once

#include <curl/curl.h>

namespace Webwire::detail {

/// The libcurl entry points webwire uses.
struct curl_library {
  decltype(&::curl_global_init) global_init;
  decltype(&::curl_easy_init) easy_init;
  decltype(&::curl_easy_cleanup) easy_cleanup;
  decltype(&::curl_easy_setopt) easy_setopt;
  decltype(&::curl_easy_getinfo) easy_getinfo;
  decltype(&::curl_free) free;
  decltype(&::curl_multi_init) multi_init;
  decltype(&::curl_multi_cleanup) multi_cleanup;
  decltype(&::curl_multi_add_handle) multi_add_handle;
  decltype(&::curl_multi_remove_handle) multi_remove_handle;
  decltype(&::curl_multi_perform) multi_perform;
  decltype(&::curl_multi_poll) multi_poll;
  decltype(&::curl_multi_info_read) multi_info_read;
  decltype(&::curl_slist_append) slist_append;
  decltype(&::curl_slist_free_all) slist_free_all;
  decltype(&::curl_url) url;
  decltype(&::curl_url_cleanup) url_cleanup;
  decltype(&::curl_url_get) url_get;
  decltype(&::curl_url_set) url_set;
};

/// libcurl, loaded and set up by the first caller of any thread; null when it cannot be
/// loaded (TESSARY_DEBUG says why).
const curl_library* Curl();

}  // namespace Webwire::detail
