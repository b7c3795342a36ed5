// korvane-station export [--db PATH] [--since DATE]: the station's records
// as JSON lines on standard output, one record per line as the line server
// takes them, for a station with no network to carry to `korvane-line
// import` by hand. Returns the exit status: 0 done, 1 a database that cannot
// be read or an output that cannot be written, 2 a bad option.
#pragma once

int station_export_main(int argc, char **argv);
