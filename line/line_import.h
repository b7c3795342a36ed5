// korvane-line import FILE [--db DB]: records carried by hand from a
// station (`korvane-station export`), one JSON line each, through the same
// checks and the same duplicate-safe store as records sent over the
// network. Returns 0 when every line was stored or was there already, 1
// when one was refused or clashed (each said on standard error), the file
// or the database cannot be read, 2 for a bad option.
#pragma once

int line_import_main(int argc, char **argv);
