#include "http_pipe.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

int pipe_listen(int *port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a = {};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof a;
  if (fd < 0 || bind(fd, (sockaddr *)&a, sizeof a) != 0 || listen(fd, 16) != 0 ||
      getsockname(fd, (sockaddr *)&a, &length) != 0) {
    if (fd >= 0) close(fd);
    return -1;
  }
  *port = ntohs(a.sin_port);
  return fd;
}

int pipe_connect(int port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a = {};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons((unsigned short)port);
  if (fd >= 0 && connect(fd, (sockaddr *)&a, sizeof a) == 0) return fd;
  if (fd >= 0) close(fd);
  return -1;
}

bool pipe_read_message(int fd, std::string *head, std::string *body, double timeout_s) {
  std::string got;
  size_t end = std::string::npos, want = 0;
  for (;;) {
    if (end == std::string::npos && (end = got.find("\r\n\r\n")) != std::string::npos) {
      *head = got.substr(0, end + 4);
      std::string lower = *head;
      for (char &c : lower) c = (char)tolower((unsigned char)c);
      size_t at = lower.find("content-length:");
      want = at == std::string::npos ? 0 : std::strtoul(lower.c_str() + at + 15, nullptr, 10);
    }
    if (end != std::string::npos && got.size() >= end + 4 + want) {
      *body = got.substr(end + 4, want);
      return true;
    }
    pollfd p = {fd, POLLIN, 0};
    if (poll(&p, 1, (int)(timeout_s * 1000)) <= 0) return false;
    char buffer[65536];
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) return false;
    got.append(buffer, (size_t)n);
  }
}

bool pipe_write(int fd, const std::string &text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return false;
    done += (size_t)n;
  }
  return true;
}

int pipe_status(const std::string &head) {
  return head.compare(0, 5, "HTTP/") == 0 && head.size() > 12 ? std::atoi(head.c_str() + 9) : 0;
}
