#include "child_process.h"

#include "scripted_board.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

static std::string output_path(const std::string &tag, const char *stream)
{
    // ctest runs test processes side by side: the pid keeps their files apart.
    return testing::TempDir() + "korvane_" + std::to_string(getpid()) + "_" + tag + "." + stream;
}

static std::string slurp(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

pid_t start_child(const std::vector<std::string> &argv, const std::string &tag)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, output_path(tag, "out").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, output_path(tag, "err").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<std::string> args = argv;
    std::vector<char *> pointers;
    for (std::string &a : args)
        pointers.push_back(&a[0]);
    pointers.push_back(nullptr);
    pid_t pid = -1;
    EXPECT_EQ(0, posix_spawn(&pid, pointers[0], &actions, nullptr, pointers.data(), environ));
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

child_result finish_child(pid_t pid, const std::string &tag, double timeout_s)
{
    child_result r;
    // A pidfd becomes readable when the child ends, so the wait needs no
    // polling loop.
    int pidfd = (int)syscall(SYS_pidfd_open, pid, 0);
    EXPECT_GE(pidfd, 0);
    struct pollfd p = {pidfd, POLLIN, 0};
    bool ended = poll(&p, 1, (int)(timeout_s * 1000)) == 1;
    r.ended_at = steady_seconds();
    close(pidfd);
    if (!ended)
        kill(pid, SIGKILL);
    int wstatus = 0;
    struct rusage usage = {};
    wait4(pid, &wstatus, 0, &usage);
    if (ended && WIFEXITED(wstatus))
        r.status = WEXITSTATUS(wstatus);
    r.cpu_seconds = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
                    usage.ru_stime.tv_usec / 1e6;
    r.out = slurp(output_path(tag, "out"));
    r.err = slurp(output_path(tag, "err"));
    unlink(output_path(tag, "out").c_str());
    unlink(output_path(tag, "err").c_str());
    return r;
}
