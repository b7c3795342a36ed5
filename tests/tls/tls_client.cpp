#include "tls_client.h"

#include <cstdlib>
#include <memory>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include "korvane/why.h"

namespace {

std::string openssl_reason(const char *otherwise) {
  unsigned long code = ERR_peek_last_error();
  ERR_clear_error();
  const char *reason = code ? ERR_reason_error_string(code) : nullptr;
  return reason ? reason : otherwise;
}

int connect_loopback(int port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  timeval tv = {30, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons((unsigned short)port);
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, (sockaddr *)&to, sizeof to) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

bool tls_exchange(int port, const tls_offer &offer, const std::string &request,
                  const std::string &until, std::string *answer, std::string *why) {
  answer->clear();
  std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)> ctx(SSL_CTX_new(TLS_client_method()),
                                                        SSL_CTX_free);
  if (!ctx) return set_why(why, "%s", openssl_reason("no TLS context").c_str());
  if (offer.min_version) {
    // An old version is offered at all only with the security level down.
    SSL_CTX_set_security_level(ctx.get(), 0);
    SSL_CTX_set_cipher_list(ctx.get(), "DEFAULT@SECLEVEL=0");
    SSL_CTX_set_min_proto_version(ctx.get(), offer.min_version);
  }
  if (offer.max_version) SSL_CTX_set_max_proto_version(ctx.get(), offer.max_version);
  if (!offer.ca.empty()) {
    if (SSL_CTX_load_verify_locations(ctx.get(), offer.ca.c_str(), nullptr) != 1)
      return set_why(why, "cannot read the CA %s", offer.ca.c_str());
    SSL_CTX_set_verify(ctx.get(), SSL_VERIFY_PEER, nullptr);
  }
  int fd = connect_loopback(port);
  if (fd < 0) return set_why(why, "cannot connect to port %d", port);
  std::unique_ptr<SSL, decltype(&SSL_free)> ssl(SSL_new(ctx.get()), SSL_free);
  SSL_set_fd(ssl.get(), fd);
  X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl.get()), "127.0.0.1");
  bool ok = SSL_connect(ssl.get()) == 1;
  if (!ok) {
    long verdict = SSL_get_verify_result(ssl.get());
    if (verdict != X509_V_OK) {
      set_why(why, "certificate: %s", X509_verify_cert_error_string(verdict));
    } else {
      set_why(why, "%s", openssl_reason("handshake failed").c_str());
    }
  }
  if (ok && SSL_write(ssl.get(), request.data(), (int)request.size()) != (int)request.size())
    ok = set_why(why, "%s", openssl_reason("write failed").c_str());
  char buffer[16384];
  while (ok && (until.empty() || answer->find(until) == std::string::npos)) {
    int got = SSL_read(ssl.get(), buffer, sizeof buffer);
    if (got <= 0) break;
    answer->append(buffer, (size_t)got);
  }
  ERR_clear_error();
  ssl.reset();
  close(fd);
  return ok;
}

int tls_status(const std::string &answer) {
  if (answer.compare(0, 5, "HTTP/") != 0) return 0;
  size_t space = answer.find(' ');
  return space == std::string::npos ? 0 : std::atoi(answer.c_str() + space + 1);
}
