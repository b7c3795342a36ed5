// Win32 back-end of the serial link: the communications API, synchronous I/O.
#include "serial_link.h"

#include "port_name.h"

#include <cstdio>
#include <cstring>

serial_handle port_handle = INVALID_HANDLE_VALUE;

static char port_name[MAX_PATH];

const char *serial_port_name(void)
{
    return port_name;
}

int serial_open(int port_number, const char *device_path)
{
    format_port_name(port_name, sizeof port_name, port_number, device_path);

    // The device namespace name is the only form that opens COM10 and above.
    char device[MAX_PATH];
    if (device_path)
        std::snprintf(device, sizeof device, "%s", device_path);
    else
        std::snprintf(device, sizeof device, "\\\\.\\COM%d", port_number);

    port_handle = CreateFileA(device, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    if (port_handle == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "Could not open serial port %s.\n", port_name);
        return 0;
    }
    return 1;
}

void serial_configure(unsigned baud_rate)
{
    PurgeComm(port_handle, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);

    // Built from nothing: whatever the port held before must not leak into
    // the line settings.
    DCB dcb;
    std::memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = baud_rate;
    dcb.fBinary = 1;
    dcb.fParity = 0;
    dcb.fOutxCtsFlow = 0;
    dcb.fOutxDsrFlow = 0;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fDsrSensitivity = 0;
    dcb.fTXContinueOnXoff = 1;
    dcb.fOutX = 0;
    dcb.fInX = 0;
    dcb.fErrorChar = 0;
    dcb.fNull = 0;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.fAbortOnError = 0;
    dcb.XonLim = 0;
    dcb.XoffLim = 0;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    dcb.ErrorChar = 0;
    dcb.EofChar = 0;
    dcb.EvtChar = 0;
    SetCommState(port_handle, &dcb);
}

void serial_write_byte(unsigned char byte)
{
    DWORD written = 0;
    WriteFile(port_handle, &byte, 1, &written, NULL);
}

int serial_read_byte(unsigned timeout_ms)
{
    COMMTIMEOUTS timeouts;
    timeouts.ReadIntervalTimeout = 0;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = timeout_ms;
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = 0;
    SetCommTimeouts(port_handle, &timeouts);

    unsigned char byte = 0;
    DWORD got = 0;
    if (!ReadFile(port_handle, &byte, 1, &got, NULL)) {
        // A failed read on a port that has gone away would otherwise repeat
        // at once, for ever, in the reads that wait without limit.
        DWORD err = GetLastError();
        if (err == ERROR_BAD_COMMAND || err == ERROR_DEVICE_REMOVED || err == ERROR_GEN_FAILURE ||
            err == ERROR_INVALID_HANDLE || err == ERROR_OPERATION_ABORTED || err == ERROR_ACCESS_DENIED)
            serial_port_lost();
        return 0;
    }
    if (got != 1)
        return 0;
    return byte;
}

void serial_close(void)
{
    if (port_handle != INVALID_HANDLE_VALUE)
        CloseHandle(port_handle);
    port_handle = INVALID_HANDLE_VALUE;
}

// The port is opened after the log file and without sharing, so a log file
// that already holds the same device makes serial_open fail before a byte
// goes out; nothing is left to compare here.
int serial_port_is(std::FILE *)
{
    return 0;
}
