#include "station/line/line_certificate_win32.h"

#include <ws2tcpip.h>

#include <bcrypt.h>

#include <cctype>
#include <fstream>
#include <sstream>
#include <vector>

#include "korvane/why.h"

struct line_trust {
  std::string ca_file;
  std::string pin;                    // lowercase hex, "" without --line-pin
  HCERTSTORE roots = nullptr;         // the CA file's certificates
  HCERTCHAINENGINE engine = nullptr;  // chains that end at those alone; null: the store
};

namespace {

// Lowercase hex without colons: the pin as the user may write it.
std::string pin_digits(const std::string &pin) {
  std::string hex;
  for (char c : pin)
    if (c != ':') hex += (char)std::tolower((unsigned char)c);
  return hex;
}

// Every certificate of a PEM file into store; how many went in.
int add_pem_certificates(const std::string &pem, HCERTSTORE store) {
  static const std::string BEGIN = "-----BEGIN CERTIFICATE-----";
  static const std::string END = "-----END CERTIFICATE-----";
  int added = 0;
  for (size_t at = pem.find(BEGIN); at != std::string::npos; at = pem.find(BEGIN, at)) {
    size_t end = pem.find(END, at);
    if (end == std::string::npos) break;
    std::string block = pem.substr(at, end + END.size() - at);
    at = end;
    DWORD size = 0;
    if (!CryptStringToBinaryA(block.c_str(), (DWORD)block.size(), CRYPT_STRING_BASE64HEADER,
                              nullptr, &size, nullptr, nullptr))
      continue;
    std::vector<BYTE> der(size);
    if (!CryptStringToBinaryA(block.c_str(), (DWORD)block.size(), CRYPT_STRING_BASE64HEADER,
                              der.data(), &size, nullptr, nullptr))
      continue;
    if (CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), size,
                                         CERT_STORE_ADD_REPLACE_EXISTING, nullptr))
      added++;
  }
  return added;
}

bool sha256(const BYTE *data, DWORD size, BYTE digest[32]) {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0)
    return false;
  BCRYPT_HASH_HANDLE hash = nullptr;
  bool ok = BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) == 0 &&
            BCryptHashData(hash, const_cast<BYTE *>(data), size, 0) == 0 &&
            BCryptFinishHash(hash, digest, 32, 0) == 0;
  if (hash) BCryptDestroyHash(hash);
  BCryptCloseAlgorithmProvider(algorithm, 0);
  return ok;
}

// The host as the bytes of an IPv4 or IPv6 address; false for a name.
bool address_bytes(const std::string &host, std::string *bytes) {
  unsigned char v4[4], v6[16];
  if (inet_pton(AF_INET, host.c_str(), v4) == 1) {
    bytes->assign((const char *)v4, sizeof v4);
    return true;
  }
  if (inet_pton(AF_INET6, host.c_str(), v6) == 1) {
    bytes->assign((const char *)v6, sizeof v6);
    return true;
  }
  return false;
}

// Whether the certificate names the address among its subject's
// alternative names: an address is checked as an address, never as a DNS
// name or the common name (not every Windows compares these itself).
bool names_address(PCCERT_CONTEXT certificate, const std::string &address) {
  PCERT_EXTENSION extension =
      CertFindExtension(szOID_SUBJECT_ALT_NAME2, certificate->pCertInfo->cExtension,
                        certificate->pCertInfo->rgExtension);
  if (!extension) return false;
  CERT_ALT_NAME_INFO *names = nullptr;
  DWORD size = 0;
  if (!CryptDecodeObjectEx(X509_ASN_ENCODING, X509_ALTERNATE_NAME, extension->Value.pbData,
                           extension->Value.cbData, CRYPT_DECODE_ALLOC_FLAG, nullptr, &names,
                           &size))
    return false;
  bool found = false;
  for (DWORD i = 0; i < names->cAltEntry && !found; i++) {
    const CERT_ALT_NAME_ENTRY &entry = names->rgAltEntry[i];
    found = entry.dwAltNameChoice == CERT_ALT_NAME_IP_ADDRESS &&
            std::string((const char *)entry.IPAddress.pbData, entry.IPAddress.cbData) == address;
  }
  LocalFree(names);
  return found;
}

// The chain's first fault in the station's words, "" for none.
std::string chain_fault(PCCERT_CHAIN_CONTEXT chain, PCCERT_CONTEXT certificate,
                        const std::string &ca_file) {
  DWORD status = chain->TrustStatus.dwErrorStatus;
  if (status & (CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_PARTIAL_CHAIN))
    return ca_file.empty() ? "not trusted: not issued by an authority Windows trusts"
                           : "not trusted: not issued by a CA of " + ca_file;
  if (status & CERT_TRUST_IS_NOT_SIGNATURE_VALID) return "not trusted: a signature is not valid";
  if (status & CERT_TRUST_IS_NOT_TIME_VALID) {
    LONG when = CertVerifyTimeValidity(nullptr, certificate->pCertInfo);
    if (when > 0) return "has expired";
    if (when < 0) return "not trusted: it is not valid yet";
    return "not trusted: a certificate of its chain is out of date";
  }
  if (status & CERT_TRUST_IS_NOT_VALID_FOR_USAGE) return "not trusted: it is not for a TLS server";
  if (status & CERT_TRUST_IS_REVOKED) return "not trusted: it was revoked";
  if (status) {
    char text[64];
    std::snprintf(text, sizeof text, "not trusted: its chain fails (0x%lx)", (unsigned long)status);
    return text;
  }
  return "";
}

}  // namespace

line_trust *line_trust_new(const line_tls &tls, std::string *why) {
  line_trust *t = new line_trust;
  t->pin = pin_digits(tls.pin_sha256);
  t->ca_file = tls.ca_file;
  if (tls.ca_file.empty()) return t;
  std::ifstream in(tls.ca_file, std::ios::binary);
  std::stringstream pem;
  pem << in.rdbuf();
  if (!in) {
    set_why(why, "cannot read the CA file %s", tls.ca_file.c_str());
    line_trust_free(t);
    return nullptr;
  }
  t->roots = CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr);
  if (!t->roots || add_pem_certificates(pem.str(), t->roots) == 0) {
    set_why(why, "cannot read the CA file %s: no certificate in it", tls.ca_file.c_str());
    line_trust_free(t);
    return nullptr;
  }
  // The file's certificates as the only roots: the Windows store's
  // authorities are not taken beside the line's own CA.
  CERT_CHAIN_ENGINE_CONFIG config = {};
  config.cbSize = sizeof config;
  config.hExclusiveRoot = t->roots;
  if (!CertCreateCertificateChainEngine(&config, &t->engine)) {
    set_why(why, "cannot take the CA file %s as the only authority (error %lu)",
            tls.ca_file.c_str(), (unsigned long)GetLastError());
    line_trust_free(t);
    return nullptr;
  }
  return t;
}

void line_trust_free(line_trust *t) {
  if (!t) return;
  if (t->engine) CertFreeCertificateChainEngine(t->engine);
  if (t->roots) CertCloseStore(t->roots, 0);
  delete t;
}

bool line_trust_check(line_trust *t, PCCERT_CONTEXT certificate, const std::string &host,
                      std::string *why) {
  if (!certificate)
    return set_why(why, "certificate for %s not trusted: the server showed none", host.c_str());
  // A pin stands for the chain: a line's self-signed certificate has none.
  if (!t->pin.empty()) {
    if (line_key_sha256(certificate) != t->pin)
      return set_why(why, "certificate for %s does not match the pinned key", host.c_str());
    return true;
  }
  char server_auth[] = szOID_PKIX_KP_SERVER_AUTH;
  char *usages[] = {server_auth};
  CERT_CHAIN_PARA para = {};
  para.cbSize = sizeof para;
  para.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
  para.RequestedUsage.Usage.cUsageIdentifier = 1;
  para.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
  PCCERT_CHAIN_CONTEXT chain = nullptr;
  // The intermediates the server sent come with its certificate's store.
  if (!CertGetCertificateChain(t->engine, certificate, nullptr, certificate->hCertStore, &para, 0,
                               nullptr, &chain))
    return set_why(why, "certificate for %s not trusted: no chain (error %lu)", host.c_str(),
                   (unsigned long)GetLastError());
  std::string fault = chain_fault(chain, certificate, t->ca_file);
  if (fault.empty()) {
    // A DNS name by the SSL policy; an address here.
    std::string address;
    bool is_address = address_bytes(host, &address);
    std::wstring name = line_wide(host);
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl = {};
    ssl.cbSize = sizeof ssl;
    ssl.dwAuthType = AUTHTYPE_SERVER;
    ssl.pwszServerName = is_address ? nullptr : &name[0];
    CERT_CHAIN_POLICY_PARA policy = {};
    policy.cbSize = sizeof policy;
    policy.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS verdict = {};
    verdict.cbSize = sizeof verdict;
    if (is_address && !names_address(certificate, address))
      fault = "not trusted: it is for another host name";
    else if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &verdict))
      fault = "not trusted: its chain cannot be checked";
    else if (verdict.dwError == (DWORD)CERT_E_CN_NO_MATCH)
      fault = "not trusted: it is for another host name";
    else if (verdict.dwError == (DWORD)CERT_E_EXPIRED)
      fault = "has expired";
    else if (verdict.dwError) {
      char text[64];
      std::snprintf(text, sizeof text, "not trusted: refused (0x%lx)",
                    (unsigned long)verdict.dwError);
      fault = text;
    }
  }
  CertFreeCertificateChain(chain);
  if (!fault.empty()) return set_why(why, "certificate for %s %s", host.c_str(), fault.c_str());
  return true;
}

std::string line_key_sha256(PCCERT_CONTEXT certificate) {
  // The SubjectPublicKeyInfo encoded again as DER, as the certificate holds it.
  DWORD size = 0;
  if (!CryptEncodeObject(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO,
                         &certificate->pCertInfo->SubjectPublicKeyInfo, nullptr, &size))
    return "";
  std::vector<BYTE> der(size);
  if (!CryptEncodeObject(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO,
                         &certificate->pCertInfo->SubjectPublicKeyInfo, der.data(), &size))
    return "";
  BYTE digest[32];
  if (!sha256(der.data(), size, digest)) return "";
  static const char HEX[] = "0123456789abcdef";
  std::string hex;
  for (BYTE b : digest) {
    hex += HEX[b >> 4];
    hex += HEX[b & 15];
  }
  return hex;
}

std::wstring line_wide(const std::string &text) {
  int size = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
  if (size <= 0) return std::wstring();
  std::wstring out((size_t)size, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &out[0], size);
  out.resize((size_t)size - 1);
  return out;
}
