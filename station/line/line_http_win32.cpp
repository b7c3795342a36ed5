// The sender's HTTP client on Windows: WinHTTP, for http:// and https://
// alike. An https:// server is checked by WinHTTP against the Windows
// certificate store; with a CA file or a pin the station checks it itself
// (line_certificate_win32.h) before the token or a record goes to it.
#include "station/line/line_http.h"

#include <winsock2.h>

#include <windows.h>

#include <winhttp.h>

#include <cstdlib>

#include "korvane/why.h"
#include "station/line/line_certificate_win32.h"

struct line_connection {
  line_url url;
  line_tls tls;
  line_trust *trust = nullptr;  // the station's own check, null for WinHTTP's
  std::string unusable;         // why no server can be checked (the CA file), else ""
  // WinHTTP keeps the connection to the server open within the session;
  // closing the session closes it.
  HINTERNET session = nullptr;
  HINTERNET server = nullptr;
  // The kept connection's certificate passed the station's own check.
  bool checked = false;
};

namespace {

// The server's answers are short; a longer one is not the line's. The
// line's page, which the check's request gets, is read up to more.
constexpr size_t REPLY_LIMIT = 64 * 1024;
constexpr size_t PAGE_LIMIT = 1024 * 1024;

// What one request saw through WinHTTP's status callback.
struct request_watch {
  line_connection *c = nullptr;
  HINTERNET request = nullptr;
  line_trust *trust = nullptr;  // the station's own check, null for WinHTTP's alone
  bool probe = false;           // the request that makes a connection for the check
  bool connected = false;       // a new connection was made for it
  bool closed = false;          // the callback closed the request to stop it
  DWORD secure_failure = 0;     // WinHTTP's own check's findings
  std::string refusal;          // the station's own check's, "" when it passed
};

std::string narrow(const std::wstring &text) {
  std::string out;
  for (wchar_t w : text) out += w < 128 ? (char)w : '?';
  return out;
}

void drop(line_connection *c) {
  if (c->server) WinHttpCloseHandle(c->server);
  if (c->session) WinHttpCloseHandle(c->session);
  c->server = c->session = nullptr;
  c->checked = false;
}

bool open_server(line_connection *c, std::string *why) {
  if (c->server) return true;
  c->session = WinHttpOpen(L"korvane-station", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                           WINHTTP_NO_PROXY_BYPASS, 0);
  if (!c->session) return set_why(why, "cannot start WinHTTP (error %lu)", GetLastError());
  // TLS 1.2 and 1.3 alone; a Windows without 1.3 takes 1.2 alone.
  DWORD protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3;
  if (!WinHttpSetOption(c->session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols,
                        sizeof protocols)) {
    protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
    WinHttpSetOption(c->session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols);
  }
  c->server = WinHttpConnect(c->session, line_wide(c->url.host).c_str(),
                             (INTERNET_PORT)std::atoi(c->url.port.c_str()), 0);
  if (!c->server) {
    DWORD error = GetLastError();
    drop(c);
    return set_why(why, "cannot reach %s (error %lu)", c->url.host.c_str(), error);
  }
  return true;
}

// WinHTTP's own check's findings in the station's words.
std::string secure_reason(const line_connection *c, DWORD error, DWORD flags) {
  // The request's error, or the flag the status callback saw, and its words.
  static const struct {
    DWORD error, flag;
    const char *words;
  } REASONS[] = {
      {ERROR_WINHTTP_SECURE_CERT_DATE_INVALID, WINHTTP_CALLBACK_STATUS_FLAG_CERT_DATE_INVALID,
       "has expired"},
      {ERROR_WINHTTP_SECURE_INVALID_CA, WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CA,
       "not trusted: not issued by an authority Windows trusts"},
      {ERROR_WINHTTP_SECURE_CERT_CN_INVALID, WINHTTP_CALLBACK_STATUS_FLAG_CERT_CN_INVALID,
       "not trusted: it is for another host name"},
      {ERROR_WINHTTP_SECURE_CERT_REVOKED, WINHTTP_CALLBACK_STATUS_FLAG_CERT_REVOKED,
       "not trusted: it was revoked"},
      {ERROR_WINHTTP_SECURE_CERT_WRONG_USAGE, WINHTTP_CALLBACK_STATUS_FLAG_CERT_WRONG_USAGE,
       "not trusted: it is not for a TLS server"},
      {ERROR_WINHTTP_SECURE_INVALID_CERT, WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CERT,
       "not trusted: it is not valid"},
  };
  for (const auto &r : REASONS) {
    if (error == r.error || (flags & r.flag))
      return "certificate for " + c->url.host + " " + r.words;
  }
  return "TLS with " + c->url.host + " failed (error " + std::to_string(error) + ")";
}

bool is_secure_error(DWORD error) {
  switch (error) {
    case ERROR_WINHTTP_SECURE_FAILURE:
    case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:
    case ERROR_WINHTTP_SECURE_INVALID_CA:
    case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:
    case ERROR_WINHTTP_SECURE_CERT_REVOKED:
    case ERROR_WINHTTP_SECURE_CERT_REV_FAILED:
    case ERROR_WINHTTP_SECURE_CERT_WRONG_USAGE:
    case ERROR_WINHTTP_SECURE_INVALID_CERT:
    case ERROR_WINHTTP_SECURE_CHANNEL_ERROR:
      return true;
    default:
      return false;
  }
}

std::string failure_reason(const line_connection *c, DWORD error) {
  switch (error) {
    case ERROR_WINHTTP_TIMEOUT:
      return "no answer in time";
    case ERROR_WINHTTP_CANNOT_CONNECT:
      return "cannot connect to " + c->url.host + ":" + c->url.port;
    case ERROR_WINHTTP_NAME_NOT_RESOLVED:
      return "cannot find " + c->url.host;
    case ERROR_WINHTTP_CONNECTION_ERROR:
      return "the connection closed";
    case ERROR_WINHTTP_INVALID_SERVER_RESPONSE:
      return "the server's answer is not HTTP";
    default:
      return "WinHTTP error " + std::to_string(error);
  }
}

PCCERT_CONTEXT server_certificate(HINTERNET request) {
  PCCERT_CONTEXT certificate = nullptr;
  DWORD size = sizeof certificate;
  if (!WinHttpQueryOption(request, WINHTTP_OPTION_SERVER_CERT_CONTEXT, &certificate, &size))
    return nullptr;
  return certificate;
}

// Runs on the calling thread within WinHttpSendRequest. A request that
// carries the token or a record goes on a connection the station checked;
// when WinHTTP makes a new one for it (the server closed the kept one),
// WinHTTP's own strict check stands guard for that connection, as the
// station's look at the certificate may come too late: closing the request
// from here does not stop every WinHTTP from sending it. Before a request
// leaves, the station's own check runs, and a server that fails it gets the
// request closed.
void CALLBACK watch_request(HINTERNET request, DWORD_PTR context, DWORD status, LPVOID info,
                            DWORD) {
  request_watch *w = reinterpret_cast<request_watch *>(context);
  if (!w || request != w->request) return;
  if (status == WINHTTP_CALLBACK_STATUS_CONNECTING_TO_SERVER) {
    w->connected = true;
    if (w->trust && !w->probe) {
      DWORD strict = 0;
      WinHttpSetOption(request, WINHTTP_OPTION_SECURITY_FLAGS, &strict, sizeof strict);
    }
  } else if (status == WINHTTP_CALLBACK_STATUS_SECURE_FAILURE && info) {
    w->secure_failure = *static_cast<DWORD *>(info);
  } else if (status == WINHTTP_CALLBACK_STATUS_SENDING_REQUEST && w->trust) {
    PCCERT_CONTEXT certificate = server_certificate(request);
    if (!line_trust_check(w->trust, certificate, w->c->url.host, &w->refusal) && w->refusal.empty())
      w->refusal = "certificate for " + w->c->url.host + " not trusted";
    if (certificate) CertFreeCertificateContext(certificate);
    if (!w->refusal.empty() && !w->closed) {
      w->closed = true;
      WinHttpCloseHandle(request);
    }
  }
}

// How one request went beside its answer.
struct request_outcome {
  bool fresh = false;    // it made a new connection
  bool guarded = false;  // WinHTTP's strict check refused that new connection
};

// One request, sent and answered, the server checked by trust when one is
// given, else by WinHTTP. False with the reason; reply->untrusted when the
// server's certificate was refused.
bool send_one(line_connection *c, line_trust *trust, const wchar_t *verb, const std::string &path,
              const std::wstring &headers, const std::string *body, double timeout_s, bool probe,
              line_reply *reply, request_outcome *outcome, std::string *why) {
  *outcome = request_outcome();
  HINTERNET request =
      WinHttpOpenRequest(c->server, verb, line_wide(path).c_str(), nullptr, WINHTTP_NO_REFERER,
                         WINHTTP_DEFAULT_ACCEPT_TYPES, c->url.tls ? WINHTTP_FLAG_SECURE : 0);
  if (!request) return set_why(why, "%s", failure_reason(c, GetLastError()).c_str());
  int ms = (int)(timeout_s * 1000);
  WinHttpSetTimeouts(request, ms, ms, ms, ms);
  // No redirect: a record goes to the line's address and nowhere else.
  DWORD never = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
  WinHttpSetOption(request, WINHTTP_OPTION_REDIRECT_POLICY, &never, sizeof never);
  if (trust) {
    // The station's own check stands for WinHTTP's, which knows neither
    // the CA file nor the pin.
    DWORD flags = SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_DATE_INVALID |
                  SECURITY_FLAG_IGNORE_CERT_CN_INVALID | SECURITY_FLAG_IGNORE_CERT_WRONG_USAGE;
    WinHttpSetOption(request, WINHTTP_OPTION_SECURITY_FLAGS, &flags, sizeof flags);
  }
  request_watch watch;
  watch.c = c;
  watch.request = request;
  watch.trust = trust;
  watch.probe = probe;
  WinHttpSetStatusCallback(request, watch_request,
                           WINHTTP_CALLBACK_FLAG_CONNECT_TO_SERVER |
                               WINHTTP_CALLBACK_FLAG_SEND_REQUEST |
                               WINHTTP_CALLBACK_FLAG_SECURE_FAILURE,
                           0);
  BOOL sent = WinHttpSendRequest(
      request, headers.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : headers.c_str(),
      headers.empty() ? 0 : (DWORD)-1L,
      body ? const_cast<char *>(body->data()) : WINHTTP_NO_REQUEST_DATA,
      body ? (DWORD)body->size() : 0, body ? (DWORD)body->size() : 0, (DWORD_PTR)&watch);
  DWORD error = sent ? 0 : GetLastError();
  outcome->fresh = watch.connected;
  if (!watch.refusal.empty()) {
    if (!watch.closed) WinHttpCloseHandle(request);
    reply->untrusted = true;
    return set_why(why, "%s", watch.refusal.c_str());
  }
  if (sent && !WinHttpReceiveResponse(request, nullptr)) error = GetLastError();
  if (error) {
    WinHttpCloseHandle(request);
    if (is_secure_error(error)) {
      reply->untrusted = true;
      outcome->guarded = trust && !probe && watch.connected;
      return set_why(why, "%s", secure_reason(c, error, watch.secure_failure).c_str());
    }
    return set_why(why, "%s", failure_reason(c, error).c_str());
  }
  DWORD status = 0, size = sizeof status;
  WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                      WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX);
  reply->status = (int)status;
  reply->retry_after = -1;
  wchar_t after[64];
  size = sizeof after;
  if (WinHttpQueryHeaders(request, WINHTTP_QUERY_RETRY_AFTER, WINHTTP_HEADER_NAME_BY_INDEX, after,
                          &size, WINHTTP_NO_HEADER_INDEX)) {
    std::string text = narrow(std::wstring(after, size / sizeof(wchar_t)));
    char *end = nullptr;
    double seconds = std::strtod(text.c_str(), &end);
    if (end != text.c_str() && !*end && seconds >= 0) reply->retry_after = seconds;
  }
  reply->body.clear();
  size_t limit = probe ? PAGE_LIMIT : REPLY_LIMIT;
  for (;;) {
    char chunk[4096];
    DWORD got = 0;
    if (!WinHttpReadData(request, chunk, sizeof chunk, &got)) {
      error = GetLastError();
      WinHttpCloseHandle(request);
      return set_why(why, "%s", failure_reason(c, error).c_str());
    }
    if (got == 0) break;
    if (reply->body.size() + got > limit) {
      WinHttpCloseHandle(request);
      return set_why(why, "the server's answer is longer than %zu bytes", limit);
    }
    reply->body.append(chunk, got);
  }
  WinHttpCloseHandle(request);
  return true;
}

// WinHTTP refused the server against the Windows store without saying why
// (Wine's says only that TLS failed): the station looks at the certificate
// itself, on a request that carries neither token nor record, to say why.
void explain_refusal(line_connection *c, double timeout_s, std::string *reason) {
  if (reason->compare(0, 9, "TLS with ") != 0) return;
  line_trust *store = line_trust_new(line_tls(), nullptr);
  line_reply probe;
  request_outcome outcome;
  std::string why;
  if (open_server(c, &why) &&
      !send_one(c, store, L"GET", c->url.path + "/", L"", nullptr, timeout_s, true, &probe,
                &outcome, &why) &&
      probe.untrusted)
    *reason = why;
  drop(c);
  line_trust_free(store);
}

bool exchange(line_connection *c, const wchar_t *verb, const std::string &target,
              const std::vector<std::pair<std::string, std::string>> &headers,
              const std::string *body, double timeout_s, line_reply *reply, std::string *why) {
  reply->untrusted = false;
  if (!c->unusable.empty()) {
    reply->untrusted = true;
    return set_why(why, "%s", c->unusable.c_str());
  }
  // The token and the records cross the network readable by anyone on it
  // only when the user said so.
  if (!c->url.tls && !c->tls.insecure && !line_host_is_loopback(c->url.host)) {
    reply->untrusted = true;
    return set_why(why, "http:// to %s only with --line-insecure", c->url.host.c_str());
  }
  std::wstring lines;
  if (body) lines += L"Content-Type: application/json\r\n";
  for (const auto &h : headers) lines += line_wide(h.first) + L": " + line_wide(h.second) + L"\r\n";
  // A kept connection the server closed meanwhile fails at the send or the
  // answer, or, replaced by WinHTTP, at WinHTTP's strict check; the request
  // is then tried once more on a new connection, checked first.
  for (int attempt = 0; attempt < 2; attempt++) {
    if (!open_server(c, why)) return false;
    request_outcome outcome;
    // WinHTTP may send a request before the station could look at the
    // server's certificate; a connection the station has not checked yet
    // is first made by a request that carries neither the token nor a
    // record.
    if (c->trust && !c->checked) {
      line_reply probe;
      if (!send_one(c, c->trust, L"GET", c->url.path + "/", L"", nullptr, timeout_s, true, &probe,
                    &outcome, why)) {
        reply->untrusted = probe.untrusted;
        drop(c);
        return false;
      }
      c->checked = true;
    }
    std::string reason;
    if (send_one(c, c->trust, verb, c->url.path + target, lines, body, timeout_s, false, reply,
                 &outcome, &reason))
      return true;
    drop(c);
    if (reply->untrusted && !c->trust) explain_refusal(c, timeout_s, &reason);
    bool again = outcome.guarded || (!outcome.fresh && !reply->untrusted &&
                                     reason == failure_reason(c, ERROR_WINHTTP_CONNECTION_ERROR));
    if (attempt == 0 && again) {
      reply->untrusted = false;
      continue;
    }
    return set_why(why, "%s", reason.c_str());
  }
  return false;
}

}  // namespace

line_connection *line_connection_new(const line_url &url, const line_tls &tls) {
  line_connection *c = new line_connection;
  c->url = url;
  c->tls = tls;
  if (url.tls && (!tls.ca_file.empty() || !tls.pin_sha256.empty()))
    c->trust = line_trust_new(tls, &c->unusable);
  return c;
}

void line_connection_free(line_connection *c) {
  if (!c) return;
  drop(c);
  line_trust_free(c->trust);
  delete c;
}

bool line_post(line_connection *c, const std::string &target,
               const std::vector<std::pair<std::string, std::string>> &headers,
               const std::string &body, double timeout_s, line_reply *reply, std::string *why) {
  return exchange(c, L"POST", target, headers, &body, timeout_s, reply, why);
}

bool line_get(line_connection *c, const std::string &target,
              const std::vector<std::pair<std::string, std::string>> &headers, double timeout_s,
              line_reply *reply, std::string *why) {
  return exchange(c, L"GET", target, headers, nullptr, timeout_s, reply, why);
}
