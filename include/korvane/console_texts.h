// What korvane prints on its console, and so what its log holds: the lines
// of the wake-up and of the download, the tests' titles and verdicts, and the
// trace lines the monitor sends in verbose mode, which korvane passes on as
// they come. korvane prints them, the station follows them on korvane's
// console, the model writes the traces a faulty board would give and
// korvane-diagnose reads them back. Constants only, without the standard
// library, so that the freestanding monitor can include it too.
#pragma once

// Shown while the board is woken, without a line end.
constexpr char WAKEUP_WAITING_TEXT[] = "Waiting for the board to wake up...";
// The download progress line as printed when it starts, without a line
// end; each update overwrites its figures and the download's end blanks it.
constexpr char XMODEM_PROGRESS_FORMAT[] = "Downloading boot code...(  0%%)";

// A test's title, then a space and its verdict on the same line, or, with a
// trace, a line end, the trace and the verdict on a line of its own.
constexpr char SDRAM_TEST_TITLE[] = "Testing SDRAM...";
constexpr char FLASH_TEST_TITLE[] = "Testing FLASH...";
constexpr char VERDICT_PASSED[] = "passed";
constexpr char VERDICT_FAILED[] = "failed";

// The trace lines, each ending in CR LF, with every value in lowercase
// hexadecimal without leading zeros. The monitor prints each as a label
// character and a value, a label and a value, and so on (put_labelled).
//
// SDRAM: the data-line test opens with its base, the address-line test with
// its base and size; then one line per access, byte offset and value, and
// after a read that shows a fault the value it names.
constexpr char TRACE_DATA_TEST_FORMAT[] = "D%x";
constexpr char TRACE_ADDRESS_TEST_FORMAT[] = "A%x %x";
constexpr char TRACE_WRITE_FORMAT[] = " %xw%x";
constexpr char TRACE_READ_FORMAT[] = " %xr%x";
constexpr char TRACE_MISMATCH_FORMAT[] = "*r%x";
// The same lines' labels, as the monitor sends them.
constexpr char TRACE_DATA_TEST_LABEL = TRACE_DATA_TEST_FORMAT[0];
constexpr char TRACE_ADDRESS_TEST_LABEL = TRACE_ADDRESS_TEST_FORMAT[0];
constexpr char TRACE_ADDRESS_SIZE_LABEL = TRACE_ADDRESS_TEST_FORMAT[3];
constexpr char TRACE_OFFSET_LABEL = TRACE_WRITE_FORMAT[0];
constexpr char TRACE_WRITE_LABEL = TRACE_WRITE_FORMAT[3];
constexpr char TRACE_READ_LABEL = TRACE_READ_FORMAT[3];
constexpr char TRACE_MISMATCH_MARK = TRACE_MISMATCH_FORMAT[0];
static_assert(TRACE_READ_FORMAT[0] == TRACE_OFFSET_LABEL &&
                  TRACE_MISMATCH_FORMAT[1] == TRACE_READ_LABEL,
              "a trace line's labels are the ones the monitor sends");

// NAND: the four ID bytes, each with its label and a space after it (maker,
// device, third and fourth ID byte), on one line, then the status on the next.
constexpr char TRACE_NAND_ID_LABELS[] = "MDRP";
constexpr char TRACE_NAND_ID_SEPARATOR = ' ';
constexpr char TRACE_NAND_STATUS_LABEL = 'S';

// korvane's line on standard error when the download fails, then a space,
// the error code and a full stop: "Xmodem download failed: -2."
constexpr char DOWNLOAD_FAILED_TEXT[] = "Xmodem download failed:";
