#include "serve_tls.h"

#include "korvane/why.h"

#ifndef KORVANE_TLS

serve_tls *serve_tls_load(const std::string &, const std::string &, std::string *why) {
  set_why(why, "this build serves no HTTPS");
  return nullptr;
}

void serve_tls_free(serve_tls *) {}

#else

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

namespace ssl = boost::asio::ssl;

namespace {

// OpenSSL's reason for the last failure, or `otherwise`.
std::string openssl_reason(const char *otherwise) {
  unsigned long code = ERR_peek_last_error();
  ERR_clear_error();
  if (code == 0) return otherwise;
  const char *reason = ERR_reason_error_string(code);
  return reason ? reason : otherwise;
}

// The reason Asio took from OpenSSL for a failed step, or `otherwise`.
std::string reason_of(const boost::system::error_code &error, const char *otherwise) {
  ERR_clear_error();
  if (error.category() != boost::asio::error::get_ssl_category()) return otherwise;
  // A file that is not PEM at all gets OpenSSL's "no start line" or "PEM lib".
  unsigned long code = (unsigned long)error.value();
  if (ERR_GET_LIB(code) == ERR_LIB_PEM || ERR_GET_REASON(code) == ERR_GET_REASON(ERR_R_PEM_LIB))
    return otherwise;
  const char *reason = ERR_reason_error_string(code);
  return reason ? reason : otherwise;
}

// Reads a whole file of at most 1 MiB, from one descriptor so that what was
// checked is what is read. `key` refuses a file that group or others may
// reach.
bool read_pem(const std::string &path, bool key, std::string *text, std::string *why) {
  const char *what = key ? "key" : "certificate";
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return set_why(why, "cannot open the %s %s: %s", what, path.c_str(), strerror(errno));
  struct stat st;
  bool ok = fstat(fd, &st) == 0;
  if (!ok) {
    set_why(why, "cannot read the %s %s: %s", what, path.c_str(), strerror(errno));
  } else if (!S_ISREG(st.st_mode) || st.st_size > (1 << 20)) {
    ok = set_why(why, "the %s %s is not a PEM file", what, path.c_str());
  } else if (key && (st.st_mode & 077) != 0) {
    ok = set_why(why,
                 "the key %s is open to other users (mode %04o); make it its owner's alone "
                 "(chmod 600)",
                 path.c_str(), (unsigned)(st.st_mode & 07777));
  }
  text->clear();
  char buffer[8192];
  while (ok) {
    ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0)
      ok = set_why(why, "cannot read the %s %s: %s", what, path.c_str(), strerror(errno));
    if (got <= 0) break;
    text->append(buffer, (size_t)got);
  }
  close(fd);
  return ok;
}

}  // namespace

serve_tls *serve_tls_load(const std::string &cert_path, const std::string &key_path,
                          std::string *why) {
  std::string cert, key;
  if (!read_pem(cert_path, false, &cert, why) || !read_pem(key_path, true, &key, why))
    return nullptr;
  auto tls = new serve_tls;
  ssl::context &context = tls->context;
  boost::system::error_code error;
  SSL_CTX *native = context.native_handle();
  // Nothing older than TLS 1.2, whatever the system's configuration allows;
  // no renegotiation, a cipher order the server picks.
  context.set_options(ssl::context::default_workarounds | ssl::context::no_sslv2 |
                          ssl::context::no_sslv3 | ssl::context::no_tlsv1 |
                          ssl::context::no_tlsv1_1 | ssl::context::single_dh_use,
                      error);
  bool ok = !error && SSL_CTX_set_min_proto_version(native, TLS1_2_VERSION) == 1;
  SSL_CTX_set_options(native, SSL_OP_NO_RENEGOTIATION | SSL_OP_CIPHER_SERVER_PREFERENCE);
  // A key under a passphrase is refused rather than asked for on a terminal
  // no one watches.
  context.set_password_callback(
      [](std::size_t, ssl::context::password_purpose) { return std::string(); }, error);
  ok = ok && !error;
  if (!ok) {
    set_why(why, "cannot set up TLS: %s", openssl_reason("unknown reason").c_str());
  } else if (context.use_certificate_chain(boost::asio::buffer(cert), error), error) {
    ok = set_why(why, "cannot use the certificate %s: %s", cert_path.c_str(),
                 reason_of(error, "not a PEM certificate").c_str());
  } else if (context.use_private_key(boost::asio::buffer(key), ssl::context::pem, error), error) {
    if (ERR_GET_REASON((unsigned long)error.value()) == X509_R_KEY_VALUES_MISMATCH) {
      ok = set_why(why, "the key %s is not the certificate %s's", key_path.c_str(),
                   cert_path.c_str());
    } else {
      // OpenSSL's reasons for a key it cannot decode ("unsupported", "bad
      // decrypt") say less than this.
      ERR_clear_error();
      ok = set_why(why, "cannot use the key %s: not a PEM private key without a passphrase",
                   key_path.c_str());
    }
  } else if (SSL_CTX_check_private_key(native) != 1) {
    ERR_clear_error();
    ok =
        set_why(why, "the key %s is not the certificate %s's", key_path.c_str(), cert_path.c_str());
  }
  // The key's text is of no more use; it is not left in freed memory.
  OPENSSL_cleanse(&key[0], key.size());
  if (!ok) {
    delete tls;
    return nullptr;
  }
  return tls;
}

void serve_tls_free(serve_tls *tls) { delete tls; }

#endif
