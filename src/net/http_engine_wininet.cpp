// The transfer engine on WinINet: each transfer runs on its own worker thread,
// which owns a share of the record and touches nothing else, so an abandoned
// transfer finishes (or notices it was abandoned) after its caller is gone.

#include <windows.h>
// after windows.h, which they build on
#include <wincrypt.h>
#include <wininet.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>

#include "base/codepage.h"
#include "base/fs.h"
#include "net/http_engine.h"

namespace quill::net {

namespace {

using Clock = std::chrono::steady_clock;

struct InternetHandle {
  HINTERNET handle;
  explicit InternetHandle(HINTERNET h) : handle(h) {}
  ~InternetHandle() {
    if (handle) ::InternetCloseHandle(handle);
  }
  InternetHandle(const InternetHandle&) = delete;
  InternetHandle& operator=(const InternetHandle&) = delete;
};

struct CertificateStore {
  HCERTSTORE handle = nullptr;
  CertificateStore() = default;
  CertificateStore(const CertificateStore&) = delete;
  CertificateStore& operator=(const CertificateStore&) = delete;
  ~CertificateStore() {
    if (handle) ::CertCloseStore(handle, 0);
  }
};

struct ChainContext {
  PCCERT_CHAIN_CONTEXT chain = nullptr;
  ChainContext() = default;
  ChainContext(const ChainContext&) = delete;
  ChainContext& operator=(const ChainContext&) = delete;
  ~ChainContext() {
    if (chain) ::CertFreeCertificateChain(chain);
  }
};

std::wstring wide(std::string_view gbk) {
  const std::u16string units = gbk_to_utf16(gbk);
  return std::wstring(units.begin(), units.end());
}

// The process's one session, direct (no proxy), as the user agent the
// platform knows. No request sends or keeps cookies (INTERNET_FLAG_NO_COOKIES):
// no caller needs any, and WinINet's store would outlive the run.
HINTERNET session() {
  static const HINTERNET handle =
      ::InternetOpenW(wide(kUserAgent).c_str(), INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  return handle;
}

Failure failure_of(DWORD error) {
  switch (error) {
    case ERROR_INTERNET_CANNOT_CONNECT:
    case ERROR_INTERNET_NAME_NOT_RESOLVED:
      return Failure::refused;
    case ERROR_INTERNET_TIMEOUT:
      return Failure::timed_out;
    case ERROR_INTERNET_CONNECTION_RESET:
    case ERROR_INTERNET_CONNECTION_ABORTED:
    case ERROR_HTTP_INVALID_SERVER_RESPONSE:
      return Failure::cut_off;
    case ERROR_INTERNET_UNRECOGNIZED_SCHEME:
    case ERROR_INTERNET_INVALID_URL:
      return Failure::bad_request;
    case ERROR_INTERNET_SECURITY_CHANNEL_ERROR:
    case ERROR_INTERNET_SEC_CERT_CN_INVALID:
    case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
    case ERROR_INTERNET_INVALID_CA:
    case ERROR_INTERNET_SEC_CERT_ERRORS:
    case ERROR_INTERNET_SEC_CERT_REVOKED:
    case ERROR_INTERNET_SEC_INVALID_CERT:
      return Failure::tls;
    default:
      return Failure::other;
  }
}

// Wine reports a receive that timed out as an aborted connection.
Failure failure_of(DWORD error, Clock::time_point started, std::chrono::milliseconds wait) {
  if (error == ERROR_INTERNET_CONNECTION_ABORTED && Clock::now() - started >= wait * 9 / 10)
    return Failure::timed_out;
  return failure_of(error);
}

struct Target {
  bool secure = false;
  std::wstring host;
  INTERNET_PORT port = 0;
  std::wstring path;  // with the query
};

// WinINet reads "host:80x" as port 80 and wraps 99999: the port, when given,
// must be all digits and at most 65535.
bool port_is_exact(const std::wstring& url) {
  const std::size_t start = url.find(L"://") + 3;
  const std::size_t end = std::min(url.find_first_of(L"/?#", start), url.size());
  const std::wstring authority = url.substr(start, end - start);
  const std::size_t colon = authority.rfind(L':');
  if (colon == std::wstring::npos) return true;
  const std::wstring port = authority.substr(colon + 1);
  return !port.empty() && port.size() <= 5 && port.find_first_not_of(L"0123456789") == std::wstring::npos &&
         std::stoul(port) <= 65535;
}

// An http or https address split for WinINet; false for anything else.
bool crack(const std::wstring& url, Target& target) {
  URL_COMPONENTSW parts{};
  parts.dwStructSize = sizeof parts;
  parts.dwSchemeLength = parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = 1;
  if (url.empty() || !::InternetCrackUrlW(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts))
    return false;
  if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) return false;
  target.secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
  target.host.assign(parts.lpszHostName, parts.dwHostNameLength);
  target.port = parts.nPort;
  target.path.assign(parts.lpszUrlPath, parts.dwUrlPathLength);
  target.path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  if (target.path.empty()) target.path = L"/";
  return !target.host.empty() && port_is_exact(url);
}

// The browser-like header block, in the order the curl engine sends it.
std::wstring request_headers(const Request& request, bool post) {
  std::wstring headers =
      L"Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/x-shockwave-flash, "
      L"application/vnd.ms-excel, application/vnd.ms-powerpoint, application/msword, */*\r\n"
      L"Referer: " +
      wide(request.url) + L"\r\nAccept-Language: zh-cn\r\n";
  if (post && !request.body.empty()) headers += L"Content-Type: application/x-www-form-urlencoded\r\n";
  return headers;
}

// The certificates of a PEM file (one or several); an empty store when the
// file cannot be read or holds none.
void load_certificates(const Text& path, CertificateStore& store) {
  const Bytes file = file_read_all(path);
  const std::string pem(file.begin(), file.end());
  store.handle = ::CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr);
  if (!store.handle) return;
  static constexpr std::string_view kBegin = "-----BEGIN CERTIFICATE-----";
  static constexpr std::string_view kEnd = "-----END CERTIFICATE-----";
  bool any = false;
  for (std::size_t at = pem.find(kBegin); at != std::string::npos; at = pem.find(kBegin, at + 1)) {
    std::size_t end = pem.find(kEnd, at);
    if (end == std::string::npos) break;
    end += kEnd.size();
    const DWORD length = static_cast<DWORD>(end - at);
    DWORD size = 0;
    if (!::CryptStringToBinaryA(pem.data() + at, length, CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr,
                                nullptr))
      continue;
    std::vector<BYTE> der(size);
    if (::CryptStringToBinaryA(pem.data() + at, length, CRYPT_STRING_BASE64HEADER, der.data(), &size, nullptr,
                               nullptr) &&
        ::CertAddEncodedCertificateToStore(store.handle, X509_ASN_ENCODING, der.data(), size,
                                           CERT_STORE_ADD_ALWAYS, nullptr))
      any = true;
  }
  if (!any) {
    ::CertCloseStore(store.handle, 0);
    store.handle = nullptr;
  }
}

// Byte for byte: issuer and serial number alone can be copied by anyone.
bool holds_exactly(HCERTSTORE store, PCCERT_CONTEXT certificate) {
  for (PCCERT_CONTEXT held = nullptr; (held = ::CertEnumCertificatesInStore(store, held));) {
    if (held->cbCertEncoded == certificate->cbCertEncoded &&
        std::memcmp(held->pbCertEncoded, certificate->pbCertEncoded, held->cbCertEncoded) == 0) {
      ::CertFreeCertificateContext(held);
      return true;
    }
  }
  return false;
}

bool signed_by_one_of(HCERTSTORE store, PCCERT_CONTEXT certificate) {
  for (PCCERT_CONTEXT issuer = nullptr;
       (issuer = ::CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_SUBJECT_NAME,
                                              &certificate->pCertInfo->Issuer, issuer));) {
    if (::CryptVerifyCertificateSignatureEx(
            0, X509_ASN_ENCODING, CRYPT_VERIFY_CERT_SIGN_SUBJECT_CERT, const_cast<CERT_CONTEXT*>(certificate),
            CRYPT_VERIFY_CERT_SIGN_ISSUER_CERT, const_cast<CERT_CONTEXT*>(issuer), 0, nullptr)) {
      ::CertFreeCertificateContext(issuer);
      return true;
    }
  }
  return false;
}

// Whether the server's chain, walked up from its own certificate, reaches one
// that is in the file or signed by one in the file before any link fails.
// An unknown root is no failure here: that is what the file is for.
bool chain_leads_to(HINTERNET http, HCERTSTORE trusted) {
  ChainContext context;
  DWORD size = sizeof context.chain;
  if (!::InternetQueryOptionW(http, INTERNET_OPTION_SERVER_CERT_CHAIN_CONTEXT, &context.chain, &size) ||
      !context.chain || context.chain->cChain == 0)
    return false;
  const CERT_SIMPLE_CHAIN* chain = context.chain->rgpChain[0];
  const DWORD broken = CERT_TRUST_IS_NOT_TIME_VALID | CERT_TRUST_IS_REVOKED |
                       CERT_TRUST_IS_NOT_SIGNATURE_VALID | CERT_TRUST_IS_NOT_VALID_FOR_USAGE |
                       CERT_TRUST_IS_CYCLIC | CERT_TRUST_INVALID_EXTENSION |
                       CERT_TRUST_INVALID_BASIC_CONSTRAINTS;
  for (DWORD i = 0; i < chain->cElement; ++i) {
    const CERT_CHAIN_ELEMENT* element = chain->rgpElement[i];
    if (element->TrustStatus.dwErrorStatus & broken) return false;
    if (holds_exactly(trusted, element->pCertContext) || signed_by_one_of(trusted, element->pCertContext))
      return true;
  }
  return false;
}

// Sends the head, checks the server against the certificate file, and only
// then the body: WinINet has no hook between the handshake and the request
// (and under Wine no chain before a request got through), so an untrusted
// server sees the request line and headers but never the body.
DWORD send_to_trusted(HINTERNET http, const std::wstring& headers, const char* body, DWORD body_size,
                      HCERTSTORE trusted) {
  DWORD flags = 0, size = sizeof flags;
  ::InternetQueryOptionW(http, INTERNET_OPTION_SECURITY_FLAGS, &flags, &size);
  // The file's certificates stand in for the system's roots; names and dates are still checked.
  flags |= SECURITY_FLAG_IGNORE_UNKNOWN_CA;
  if (!::InternetSetOptionW(http, INTERNET_OPTION_SECURITY_FLAGS, &flags, sizeof flags))
    return ERROR_INTERNET_SECURITY_CHANNEL_ERROR;
  INTERNET_BUFFERSW buffers{};
  buffers.dwStructSize = sizeof buffers;
  buffers.lpcszHeader = headers.c_str();
  buffers.dwHeadersLength = static_cast<DWORD>(headers.size());
  buffers.dwBufferTotal = body_size;
  if (!::HttpSendRequestExW(http, &buffers, nullptr, 0, 0)) return ::GetLastError();
  if (!chain_leads_to(http, trusted)) return ERROR_INTERNET_INVALID_CA;
  for (DWORD sent = 0; sent < body_size;) {
    DWORD wrote = 0;
    if (!::InternetWriteFile(http, body + sent, body_size - sent, &wrote)) return ::GetLastError();
    if (wrote == 0) return ERROR_INTERNET_CONNECTION_ABORTED;
    sent += wrote;
  }
  if (!::HttpEndRequestW(http, nullptr, 0, 0)) return ::GetLastError();
  // A redirect may have led to another server, which must pass as well.
  return chain_leads_to(http, trusted) ? ERROR_SUCCESS : ERROR_INTERNET_INVALID_CA;
}

void set_timeouts(HINTERNET handle, std::chrono::milliseconds wait) {
  DWORD ms = static_cast<DWORD>(std::max<long long>(1, wait.count()));
  for (DWORD option :
       {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT})
    ::InternetSetOptionW(handle, option, &ms, sizeof ms);
}

// The whole request on the worker thread; the outcome goes to the record only.
Response run(const Exchange& exchange) {
  const Request& request = exchange.request;
  const Text method = txt_upper(request.method);
  const bool post = method == "POST";
  Target target;
  if ((!post && !method.empty() && method != "GET") || request.wait.count() <= 0 ||
      !crack(wide(request.url), target))
    return {{}, 0, Failure::bad_request};
  if (!session()) return {{}, 0, Failure::other};
  const auto ceiling = Clock::now() + request.wait * kCeilingFactor;
  // An unreadable or empty file trusts nobody.
  CertificateStore trusted;
  if (target.secure && !request.ca_file.empty()) {
    load_certificates(request.ca_file, trusted);
    if (!trusted.handle) return {{}, 0, Failure::tls};
  }

  InternetHandle connection(::InternetConnectW(session(), target.host.c_str(), target.port, nullptr, nullptr,
                                               INTERNET_SERVICE_HTTP, 0, 0));
  if (!connection.handle) return {{}, 0, failure_of(::GetLastError())};
  set_timeouts(connection.handle, request.wait);
  DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_COOKIES;
  if (target.secure) flags |= INTERNET_FLAG_SECURE;
  InternetHandle http(::HttpOpenRequestW(connection.handle, post ? L"POST" : L"GET", target.path.c_str(),
                                         L"HTTP/1.1", nullptr, nullptr, flags, 0));
  if (!http.handle) return {{}, 0, failure_of(::GetLastError())};
  set_timeouts(http.handle, request.wait);
  std::wstring headers = request_headers(request, post);
  // A connection that trusted the file's certificates goes back to no pool.
  if (trusted.handle) headers += L"Connection: close\r\n";
  char* body = post ? const_cast<char*>(request.body.data()) : nullptr;
  const DWORD body_size = post ? static_cast<DWORD>(request.body.size()) : 0;
  const auto sending = Clock::now();
  if (trusted.handle) {
    if (const DWORD error = send_to_trusted(http.handle, headers, body, body_size, trusted.handle))
      return {{}, 0, failure_of(error, sending, request.wait)};
  } else if (!::HttpSendRequestW(http.handle, headers.c_str(), static_cast<DWORD>(headers.size()), body,
                                 body_size)) {
    return {{}, 0, failure_of(::GetLastError(), sending, request.wait)};
  }

  Response response;
  DWORD status = 0, length = 0, size = sizeof status;
  // Wine takes a connection closed without a byte of answer for an answer without a status.
  if (!::HttpQueryInfoW(http.handle, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                        nullptr) ||
      status == 0)
    return {{}, 0, Failure::cut_off};
  response.status = static_cast<long>(status);
  size = sizeof length;
  const bool has_length = ::HttpQueryInfoW(http.handle, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER,
                                           &length, &size, nullptr);
  if (has_length && length > kMaxBodyBytes) return {{}, response.status, Failure::too_large};
  char chunk[16384];
  BytesInFlight held;
  for (;;) {
    if (exchange.abandoned.load()) return {{}, response.status, Failure::stopped};
    if (Clock::now() > ceiling) return {{}, response.status, Failure::timed_out};
    DWORD got = 0;
    const auto reading = Clock::now();
    if (!::InternetReadFile(http.handle, chunk, sizeof chunk, &got))
      return {{}, response.status, failure_of(::GetLastError(), reading, request.wait)};
    if (got == 0) break;
    if (response.body.size() + got > kMaxBodyBytes || !held.take(got))
      return {{}, response.status, Failure::too_large};
    response.body.insert(response.body.end(), chunk, chunk + got);
  }
  // An answer that ended before its announced length was cut off.
  if (has_length && response.body.size() < length) return {{}, response.status, Failure::cut_off};
  return response;
}

// The worker: it owns its share of the exchange and nothing else.
DWORD WINAPI transfer_thread(void* handed) {
  const std::unique_ptr<std::shared_ptr<Exchange>> exchange(static_cast<std::shared_ptr<Exchange>*>(handed));
  try {
    (*exchange)->finish(run(**exchange));
  } catch (const std::exception&) {
    (*exchange)->finish({{}, 0, Failure::other});
  }
  return 0;
}

}  // namespace

// A thread of the system's own: under Wine a detached std::thread (winpthreads)
// now and then never ran its function, and its caller waited out the whole wait.
void StartTransfer(std::shared_ptr<Exchange> exchange) {
  auto handed = std::make_unique<std::shared_ptr<Exchange>>(exchange);
  HANDLE thread = ::CreateThread(nullptr, 0, &transfer_thread, handed.get(), 0, nullptr);
  if (!thread) return exchange->finish({{}, 0, Failure::other});
  handed.release();
  ::CloseHandle(thread);
}

// The worker sees the flag before its next read; the caller never waits for it.
void AbandonTransfer(const std::shared_ptr<Exchange>& exchange) { exchange->abandoned = true; }

}  // namespace quill::net
