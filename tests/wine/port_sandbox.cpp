// Runs a command in a private mount namespace in which every /dev/ttyS* is
// covered by a pseudo-terminal of its own, so that nothing the command does
// (Wine maps COM1, COM2... to /dev/ttyS0, ttyS1... by itself) can reach a
// real serial device. The machine's /dev is left as it is: the covering
// mounts exist only inside the namespace.
// Usage: port_sandbox <program> [args...]
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <pty.h>
#include <sched.h>
#include <string>
#include <sys/mount.h>
#include <unistd.h>
#include <vector>

static int fail(const char *what) {
  std::fprintf(stderr, "port_sandbox: %s: %s\n", what, std::strerror(errno));
  return 125;
}

int main(int argc, char **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "Usage: port_sandbox <program> [args...]\n");
    return 125;
  }
  // A standard stream closed by the caller stays closed for the command:
  // held meanwhile, so that no covering terminal takes its place and
  // receives what the command writes there.
  bool closed[3] = {false, false, false};
  for (int fd = 0; fd <= 2; fd++) {
    if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
      closed[fd] = true;
      if (open("/dev/null", O_RDWR) != fd) return fail("/dev/null");
    }
  }
  if (unshare(CLONE_NEWNS) != 0) return fail("unshare");
  // Private first: a covering mount must not spread back to the machine.
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
    return fail("mount --make-rprivate /");

  std::vector<std::string> ports;
  if (DIR *dev = opendir("/dev")) {
    while (dirent *e = readdir(dev))
      if (std::strncmp(e->d_name, "ttyS", 4) == 0)
        ports.push_back(std::string("/dev/") + e->d_name);
    closedir(dev);
  }
  for (const std::string &port : ports) {
    // The master stays open, inherited by the command, so that the
    // covering terminal stays a live one for as long as it runs.
    int master, slave;
    char path[128];
    if (openpty(&master, &slave, path, nullptr, nullptr) != 0) return fail("openpty");
    close(slave);
    if (mount(path, port.c_str(), nullptr, MS_BIND, nullptr) != 0) return fail(port.c_str());
  }
  for (int fd = 0; fd <= 2; fd++)
    if (closed[fd]) close(fd);
  execvp(argv[1], argv + 1);
  return fail(argv[1]);
}
