// korvane-station: tests boards on several serial ports at once, one korvane
// per slot, and keeps a record of every board.
#include "station_run.h"

int main(int argc, char **argv) { return station_run(argc, argv); }
