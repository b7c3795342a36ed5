// The Windows back-end of station_child. Every child runs in one job object
// that kills its processes when its last handle closes: the station holds
// that handle, so a station that dies however it dies takes its korvane
// children with it and leaves no port open. Each child is the leader of its
// own process group, so that Ctrl-Break reaches it and no other child.
#include "station/slots/station_child.h"

#include <windows.h>

#include "korvane/why.h"

struct station_child {
  HANDLE process = nullptr;
  DWORD id = 0;
  HANDLE out = nullptr, err = nullptr;  // our ends of the pipes; null once ended
  bool exited = false;
  int status = -1;
};

namespace {

// The job every child joins; created once, never closed while the station
// runs.
HANDLE station_job(std::string *why) {
  static HANDLE job = nullptr;
  if (job) return job;
  HANDLE made = CreateJobObjectA(nullptr, nullptr);
  if (!made) {
    set_why(why, "cannot create a job object: error %lu", GetLastError());
    return nullptr;
  }
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (!SetInformationJobObject(made, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
    set_why(why, "cannot set up a job object: error %lu", GetLastError());
    CloseHandle(made);
    return nullptr;
  }
  job = made;
  return job;
}

// One argument as the C runtime's command-line parser reads it back:
// quoted when it holds a blank or a quote or is empty, a quote escaped,
// and the backslashes before a quote (or before the closing quote) doubled.
std::string quoted(const std::string &arg) {
  if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) return arg;
  std::string out = "\"";
  size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') {
      out.append(backslashes * 2 + 1, '\\');
    } else {
      out.append(backslashes, '\\');
    }
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, '\\');
  return out + "\"";
}

std::string system_reason(const char *what) {
  DWORD code = GetLastError();
  char text[256] = "";
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                 sizeof text, nullptr);
  std::string reason = text;
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' ||
                             reason.back() == '.' || reason.back() == ' '))
    reason.pop_back();
  if (reason.empty()) reason = "error " + std::to_string(code);
  return std::string(what) + ": " + reason;
}

void close_handle(HANDLE *h) {
  if (*h) CloseHandle(*h);
  *h = nullptr;
}

// A pipe whose write end the child inherits and whose read end it does not.
bool child_pipe(HANDLE *ours, HANDLE *theirs) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  if (!CreatePipe(ours, theirs, &inherit, 0)) return false;
  SetHandleInformation(*ours, HANDLE_FLAG_INHERIT, 0);
  return true;
}

// Appends what the pipe holds now; false once the child closed its end.
bool drain(HANDLE *pipe, std::string *into) {
  if (!*pipe) return false;
  for (;;) {
    DWORD available = 0;
    if (!PeekNamedPipe(*pipe, nullptr, 0, nullptr, &available, nullptr)) {
      close_handle(pipe);
      return false;
    }
    if (available == 0) return true;
    char buffer[4096];
    DWORD got = 0;
    DWORD want = available < sizeof buffer ? available : sizeof buffer;
    if (!ReadFile(*pipe, buffer, want, &got, nullptr)) {
      close_handle(pipe);
      return false;
    }
    if (into) into->append(buffer, got);
  }
}

// Windows has no signals: a console program stopped by Ctrl-C or
// Ctrl-Break ends with STATUS_CONTROL_C_EXIT, which the station reads as
// the interrupt signal's status; any other system status is out of a
// program's 0..255.
int exit_status(DWORD code) {
  if (code == static_cast<DWORD>(STATUS_CONTROL_C_EXIT)) return 128 + 2;
  if (code > 255) return 255;
  return static_cast<int>(code);
}

}  // namespace

station_child *child_start(const std::string &program, const std::vector<std::string> &args,
                           std::string *why) {
  HANDLE job = station_job(why);
  if (!job) return nullptr;
  std::string line = quoted(program);
  for (const std::string &a : args) line += " " + quoted(a);

  station_child *c = new station_child;
  HANDLE out_write = nullptr, err_write = nullptr;
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  // The child reads nothing from the station; the null device keeps it from
  // sharing the station's console input, where the operator types serials.
  HANDLE nothing = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                               OPEN_EXISTING, 0, nullptr);
  if (nothing == INVALID_HANDLE_VALUE || !child_pipe(&c->out, &out_write) ||
      !child_pipe(&c->err, &err_write)) {
    set_why(why, system_reason("cannot make the pipes for korvane"));
    if (nothing != INVALID_HANDLE_VALUE) CloseHandle(nothing);
    close_handle(&out_write);
    close_handle(&c->out);
    delete c;
    return nullptr;
  }
  STARTUPINFOA start = {};
  start.cb = sizeof start;
  start.dwFlags = STARTF_USESTDHANDLES;
  start.hStdInput = nothing;
  start.hStdOutput = out_write;
  start.hStdError = err_write;
  PROCESS_INFORMATION info = {};
  std::vector<char> command(line.begin(), line.end());
  command.push_back('\0');
  // Suspended until it is in the job, so that not even its first
  // instruction runs outside it.
  BOOL started =
      CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE,
                     CREATE_NEW_PROCESS_GROUP | CREATE_SUSPENDED, nullptr, nullptr, &start, &info);
  std::string reason = started ? "" : system_reason(("cannot start " + program).c_str());
  CloseHandle(nothing);
  CloseHandle(out_write);
  CloseHandle(err_write);
  if (started && !AssignProcessToJobObject(job, info.hProcess)) {
    reason = system_reason("cannot put korvane in the station's job");
    TerminateProcess(info.hProcess, 1);
    WaitForSingleObject(info.hProcess, INFINITE);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    started = FALSE;
  }
  if (!started) {
    set_why(why, reason);
    close_handle(&c->out);
    close_handle(&c->err);
    delete c;
    return nullptr;
  }
  ResumeThread(info.hThread);
  CloseHandle(info.hThread);
  c->process = info.hProcess;
  c->id = info.dwProcessId;
  return c;
}

bool child_read(station_child *c, std::string *out, std::string *err) {
  bool out_open = drain(&c->out, out);
  bool err_open = drain(&c->err, err);
  return out_open || err_open;
}

void child_interrupt(station_child *c) {
  if (c->exited) return;
  // Without a console of its own (a station started by a service or with
  // its output on pipes) no console event can reach the child: it is then
  // ended as korvane's own Ctrl-Break handler ends it, with the same status
  // and nothing lost, since korvane flushes its log after every write.
  if (!GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, c->id))
    TerminateProcess(c->process, static_cast<UINT>(STATUS_CONTROL_C_EXIT));
}

bool child_exited(station_child *c, int *status) {
  if (!c->exited && WaitForSingleObject(c->process, 0) == WAIT_OBJECT_0) {
    DWORD code = 0;
    GetExitCodeProcess(c->process, &code);
    c->exited = true;
    c->status = exit_status(code);
  }
  if (c->exited && status) *status = c->status;
  return c->exited;
}

void child_end(station_child *c) {
  if (!c) return;
  if (!child_exited(c, nullptr)) {
    TerminateProcess(c->process, static_cast<UINT>(STATUS_CONTROL_C_EXIT));
    WaitForSingleObject(c->process, INFINITE);
  }
  close_handle(&c->out);
  close_handle(&c->err);
  close_handle(&c->process);
  delete c;
}
