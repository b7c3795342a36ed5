// Win32 back-end of the serial link: the communications API, synchronous I/O.
#include "serial_link.h"

#include "port_name.h"

#include <cstdio>
#include <cstring>
#include <io.h>
#include <windows.h>

static HANDLE port_handle = INVALID_HANDLE_VALUE;

static char port_name[MAX_PATH];

// The longest single wait of a read. A read that may wait longer is made of
// slices this long, and the port is looked at between them: a device that
// has gone away does not always fail the read (Wine, for one, lets a read
// on a hung-up line time out as if the line were silent, and one that waits
// without limit never comes back), but it fails ClearCommError at once.
static const DWORD READ_SLICE_MS = 250;

const char *serial_port_name(void) { return port_name; }

// The system's text for an error code, on one line: FormatMessage ends its
// texts with a period and CR LF, which a message line does not want.
static void format_reason(DWORD code, char *buffer, DWORD size) {
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, code,
                           0, buffer, size, NULL);
  if (n == 0) n = (DWORD)std::snprintf(buffer, size, "Error %lu", (unsigned long)code);
  while (n > 0 && std::strchr("\r\n .", buffer[n - 1])) n--;
  buffer[n] = '\0';
}

static bool open_failed(const char *reason) {
  std::fprintf(stderr, "Could not open serial port %s.\n", port_name);
  std::fprintf(stderr, "%s: %s\n", port_name, reason);
  return false;
}

static bool open_failed_with(DWORD code) {
  char reason[256];
  format_reason(code, reason, sizeof reason);
  return open_failed(reason);
}

bool serial_open(int port_number, const char *device_path) {
  // Named in full, not cut short to fit: the message must name what the
  // user typed.
  if (device_path && std::strlen(device_path) >= sizeof port_name) {
    char reason[256];
    format_reason(ERROR_FILENAME_EXCED_RANGE, reason, sizeof reason);
    std::fprintf(stderr, "Could not open serial port %s.\n", device_path);
    std::fprintf(stderr, "%s: %s\n", device_path, reason);
    return false;
  }
  format_port_name(port_name, sizeof port_name, port_number, device_path);

  // The device namespace name is the only form that opens COM10 and above.
  char device[MAX_PATH];
  if (device_path)
    std::snprintf(device, sizeof device, "%s", device_path);
  else
    std::snprintf(device, sizeof device, "\\\\.\\COM%d", port_number);

  // No sharing: a second korvane on the port must fail here, not
  // interleave its bytes with ours.
  HANDLE handle =
      CreateFileA(device, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
  if (handle == INVALID_HANDLE_VALUE) return open_failed_with(GetLastError());
  // A name that leads to a disk file or a pipe is no serial port: writing
  // the wake-up pattern into it would spoil whatever it holds.
  if (GetFileType(handle) != FILE_TYPE_CHAR) {
    CloseHandle(handle);
    return open_failed("Not a character device");
  }
  port_handle = handle;
  return true;
}

void serial_configure(unsigned baud_rate) {
  PurgeComm(port_handle, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);

  // Built from nothing: whatever the port held before must not leak into
  // the line settings. Every field not set here stays 0: no parity check,
  // no flow control of any kind (CTS, DSR, XON/XOFF), DTR and RTS off, no
  // error, end-of-file or event character, nothing dropped or aborted.
  DCB dcb;
  std::memset(&dcb, 0, sizeof dcb);
  dcb.DCBlength = sizeof dcb;
  dcb.BaudRate = baud_rate;
  dcb.fBinary = 1;
  dcb.fDtrControl = DTR_CONTROL_DISABLE;
  dcb.fTXContinueOnXoff = 1;
  dcb.fRtsControl = RTS_CONTROL_DISABLE;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.XonChar = 0x11;
  dcb.XoffChar = 0x13;
  SetCommState(port_handle, &dcb);
}

void serial_write_byte(unsigned char byte) {
  // Writes never time out, so a write that fails or sends nothing means
  // the device is gone (Wine: ERROR_NOT_READY on a hung-up line; an
  // unplugged adapter: ERROR_DEVICE_REMOVED, ERROR_ACCESS_DENIED...).
  DWORD written = 0;
  if (!WriteFile(port_handle, &byte, 1, &written, NULL) || written != 1) serial_port_lost();
}

// What an unplugged adapter's driver, or Wine on a dead line, gives a read.
// Timing out and aborting by line errors are off (fAbortOnError is 0), so
// none of these can mean anything but a port that has gone.
static bool is_loss(DWORD err) {
  switch (err) {
    case ERROR_ACCESS_DENIED:
    case ERROR_INVALID_HANDLE:
    case ERROR_NOT_READY:
    case ERROR_BAD_COMMAND:
    case ERROR_GEN_FAILURE:
    case ERROR_HANDLE_EOF:
    case ERROR_BROKEN_PIPE:
    case ERROR_OPERATION_ABORTED:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
      return true;
    default:
      return false;
  }
}

// One ReadFile that waits at most wait_ms. Returns the byte, or -1 when
// none came in that time.
static int read_slice(DWORD wait_ms) {
  COMMTIMEOUTS timeouts;
  timeouts.ReadIntervalTimeout = 0;
  timeouts.ReadTotalTimeoutMultiplier = 0;
  timeouts.ReadTotalTimeoutConstant = wait_ms;
  timeouts.WriteTotalTimeoutMultiplier = 0;
  timeouts.WriteTotalTimeoutConstant = 0;
  // Without its time-out a read could wait for ever on a dead device.
  if (!SetCommTimeouts(port_handle, &timeouts)) serial_port_lost();

  const ULONGLONG started = GetTickCount64();
  unsigned char byte = 0;
  DWORD got = 0;
  if (ReadFile(port_handle, &byte, 1, &got, NULL)) {
    if (got == 1) return byte;
  } else if (is_loss(GetLastError())) {
    // Only a failed call sets the error code; after a success it is
    // whatever an earlier call left.
    serial_port_lost();
  }

  // A live port that took the time-out answers ClearCommError, and an
  // empty read comes back only once the time-out has run. One that comes
  // back far sooner is an end of file: read again, it would only spin.
  DWORD errors = 0;
  COMSTAT status;
  if (!ClearCommError(port_handle, &errors, &status)) serial_port_lost();
  if (GetTickCount64() - started < wait_ms / 2) serial_port_lost();
  return -1;
}

int serial_read_byte(unsigned timeout_ms) {
  unsigned left = timeout_ms;
  for (;;) {
    DWORD wait = timeout_ms == 0 || left > READ_SLICE_MS ? READ_SLICE_MS : left;
    int byte = read_slice(wait);
    if (byte >= 0) return byte;
    if (timeout_ms != 0) {
      left -= wait;
      if (left == 0) return 0;
    }
  }
}

void serial_close(void) {
  if (port_handle != INVALID_HANDLE_VALUE) CloseHandle(port_handle);
  port_handle = INVALID_HANDLE_VALUE;
}

unsigned long long serial_clock_ms(void) { return GetTickCount64(); }

// The kind of device a handle leads to (FILE_DEVICE_*), as the system's own
// layer below the Win32 API reports it; 0 when it cannot be asked.
static DWORD device_type(HANDLE handle) {
  struct io_status {
    union {
      LONG status;
      PVOID pointer;
    };
    ULONG_PTR information;
  };
  struct fs_device_information {
    DWORD device_type;
    ULONG characteristics;
  };
  const int FILE_FS_DEVICE_INFORMATION = 4;
  typedef LONG(WINAPI * query_volume_information)(HANDLE, io_status *, PVOID, ULONG, int);
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  if (!ntdll) return 0;
  query_volume_information query = reinterpret_cast<query_volume_information>(
      reinterpret_cast<void (*)(void)>(GetProcAddress(ntdll, "NtQueryVolumeInformationFile")));
  io_status io;
  fs_device_information info = {0, 0};
  if (!query || query(handle, &io, &info, sizeof info, FILE_FS_DEVICE_INFORMATION) < 0) return 0;
  return info.device_type;
}

// A log named as the port, in any of its spellings, is the port, whatever
// the name opened. One that opens some other serial device is refused too:
// a handle does not say which port it holds, and the serial calls need read
// access that a log's handle lacks, so the device's kind decides (a
// terminal of the host system under Wine is of no known kind).
stream_target serial_stream_target(std::FILE *stream, const char *stream_path, int port_number,
                                   const char *device_path) {
  const int port_com = device_path ? com_port_number(device_path) : port_number;
  const int stream_com = com_port_number(stream_path);
  if (stream_com != 0 && stream_com == port_com) return stream_target::THE_PORT;
  if (device_path &&
      _stricmp(without_device_prefix(device_path), without_device_prefix(stream_path)) == 0)
    return stream_target::THE_PORT;
  HANDLE handle = (HANDLE)_get_osfhandle(_fileno(stream));
  if (handle == INVALID_HANDLE_VALUE || GetFileType(handle) != FILE_TYPE_CHAR)
    return stream_target::OTHER;
  switch (device_type(handle)) {
    case FILE_DEVICE_SERIAL_PORT:
    case FILE_DEVICE_MODEM:
    case FILE_DEVICE_UNKNOWN:
      return stream_target::SERIAL_PORT;
    default:
      return stream_com != 0 ? stream_target::SERIAL_PORT : stream_target::OTHER;
  }
}
