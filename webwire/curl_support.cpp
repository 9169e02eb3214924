// SPDX-License-Identifier: GPL-3.0-or-later
#include "webwire/transfer.h"

namespace Webwire::detail {

HRESULT HresultFromCurl(CURLcode code) {
  switch (code) {
    case CURLE_OK:
      return S_OK;
    case CURLE_ABORTED_BY_CALLBACK:
      return E_ABORT;
    case CURLE_OUT_OF_MEMORY:
      return E_OUTOFMEMORY;
    case CURLE_OPERATION_TIMEDOUT:
      return E_INTERNET_TIMEOUT;
    case CURLE_URL_MALFORMAT:
      return E_INTERNET_INVALID_URL;
    case CURLE_UNSUPPORTED_PROTOCOL:
      return E_INTERNET_UNRECOGNIZED_SCHEME;
    case CURLE_COULDNT_RESOLVE_HOST:
      return E_INTERNET_NAME_NOT_RESOLVED;
    case CURLE_COULDNT_CONNECT:
      return E_INTERNET_CANNOT_CONNECT;
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
      return E_INTERNET_CONNECTION_RESET;
    case CURLE_GOT_NOTHING:
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
      return E_HTTP_INVALID_SERVER_RESPONSE;
    case CURLE_PEER_FAILED_VERIFICATION:
      return E_INTERNET_INVALID_CA;
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
      return E_INTERNET_SEC_CERT_ERRORS;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_SSL_CIPHER:
      return E_INTERNET_SECURITY_CHANNEL_ERROR;
    default:
      return E_FAIL;
  }
}

std::shared_ptr<session_object> session_object::Create() {
  const curl_library* curl = Curl();
  if (curl == nullptr) return nullptr;
  CURLM* multi = curl->multi_init();
  if (multi == nullptr) return nullptr;
  return std::make_shared<session_object>(multi);
}

}  // namespace Webwire::detail
