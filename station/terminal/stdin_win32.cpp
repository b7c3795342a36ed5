#include "station/terminal/stdin_lines.h"

#include <windows.h>

#include <condition_variable>
#include <mutex>
#include <thread>

// Windows has no poll() for a console or a pipe alike, so one thread reads
// standard input as it comes and hands the bytes over; the main loop waits
// for them with its bounded time-out. The thread blocks in ReadFile for the
// rest of the run, and ends with the process.
namespace {

struct stdin_feed {
  std::mutex lock;
  std::condition_variable ready;
  std::string bytes;
  bool ended = false;
};

stdin_feed *g_feed = nullptr;
HANDLE g_console = nullptr;  // the console whose line input is off
DWORD g_console_mode = 0;

void read_stdin(stdin_feed *feed) {
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  char buf[4096];
  for (;;) {
    DWORD n = 0;
    bool ok =
        in != INVALID_HANDLE_VALUE && in != nullptr && ReadFile(in, buf, sizeof buf, &n, nullptr);
    std::lock_guard<std::mutex> hold(feed->lock);
    if (!ok || n == 0) {
      feed->ended = true;
      feed->ready.notify_one();
      return;
    }
    // A console gives CR LF: the CR is not part of the line; without its
    // line input, Enter is a CR alone.
    for (DWORD i = 0; i < n; i++) {
      if (buf[i] != '\r') {
        feed->bytes += buf[i];
      } else if (g_console) {
        feed->bytes += '\n';
      }
    }
    feed->ready.notify_one();
  }
}

}  // namespace

void stdin_wait_lines(stdin_lines *in, int timeout_ms, std::vector<std::string> *lines) {
  if (in->ended) {
    Sleep((DWORD)timeout_ms);
    return;
  }
  if (!g_feed) {
    g_feed = new stdin_feed;
    std::thread(read_stdin, g_feed).detach();
  }
  std::string bytes;
  bool ended;
  {
    std::unique_lock<std::mutex> hold(g_feed->lock);
    g_feed->ready.wait_for(hold, std::chrono::milliseconds(timeout_ms),
                           [] { return !g_feed->bytes.empty() || g_feed->ended; });
    bytes.swap(g_feed->bytes);
    ended = g_feed->ended;
  }
  stdin_take_bytes(in, bytes.data(), bytes.size(), lines);
  if (ended) stdin_take_end(in, lines);
}

bool stdin_keys_begin(void) {
  if (g_console) return true;
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  if (in == INVALID_HANDLE_VALUE || !in || !GetConsoleMode(in, &mode)) return false;
  if (!SetConsoleMode(in, mode & ~(DWORD)(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT))) return false;
  g_console = in;
  g_console_mode = mode;
  return true;
}

void stdin_keys_end(void) {
  if (!g_console) return;
  SetConsoleMode(g_console, g_console_mode);
  g_console = nullptr;
}
