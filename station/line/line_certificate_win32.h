// How the Windows station checks an https:// line server's certificate by
// itself, where WinHTTP's own check against the Windows certificate store is
// not the one asked for: a chain built against the CA file alone (--line-ca),
// or the server's public key against a pin (--line-pin).
#pragma once

#include <winsock2.h>

#include <windows.h>

#include <wincrypt.h>

#include <string>

#include "station/line/line_http.h"

struct line_trust;

// What certificates are checked against: the CA file's certificates (PEM),
// the pin, or with neither the Windows certificate store. Null with the reason when the CA file
// cannot be read or holds no certificate.
line_trust *line_trust_new(const line_tls &tls, std::string *why);
void line_trust_free(line_trust *t);

// True when the server's certificate passes: its key is the pinned one, or
// its chain ends at one of the CA file's certificates (without a file, at an
// authority of the Windows store), is valid now, may
// serve TLS servers and names host. Else false with the station's reason
// ("certificate for HOST not trusted: ...").
bool line_trust_check(line_trust *t, PCCERT_CONTEXT certificate, const std::string &host,
                      std::string *why);

// The pin of a certificate's public key: lowercase hex SHA-256 over its DER
// SubjectPublicKeyInfo; "" when it cannot be computed.
std::string line_key_sha256(PCCERT_CONTEXT certificate);

// UTF-8 text as Windows' wide strings take it.
std::wstring line_wide(const std::string &text);
