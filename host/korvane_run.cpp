#include "korvane_run.h"

#include "boot_image.h"
#include "monitor_protocol.h"
#include "run_options.h"
#include "serial_link.h"
#include "tee.h"
#include "wakeup.h"
#include "xmodem.h"

#include <cstdio>
#include <cstdlib>

static const unsigned LINE_BAUD = 115200;

void serial_port_lost(void)
{
    std::fprintf(stderr, "Lost serial port %s.\n", serial_port_name());
    close_log_file();
    std::exit(1);
}

int korvane_run(int argc, char **argv)
{
    // Unbuffered, so that the progress line and each echoed monitor byte
    // show at once.
    std::setvbuf(stdout, nullptr, _IONBF, 0);

    run_options opts;
    int status = parse_command_line(argc, argv, &opts);
    if (status >= 0) {
        close_log_file();
        return status;
    }

    if (!serial_open(opts.port_number, opts.port_path)) {
        close_log_file();
        return 1;
    }
    serial_configure(LINE_BAUD);

    std::printf("Waiting for the board to wake up...");
    wait_for_wakeup();

    status = 0;
    int rc = xmodem_send(boot_image, BOOT_IMAGE_SIZE);
    std::printf("\r%31s\r", "");
    if (rc < 0) {
        std::fprintf(stderr, "Xmodem download failed: %d.\n", rc);
        status = 1;
    } else {
        run_test_phase(&opts);
    }

    serial_close();
    if (log_file && !close_log_file()) {
        std::fprintf(stderr, "Could not write logfile '%s'.\n", log_file_name());
        status = 1;
    }
    return status;
}
