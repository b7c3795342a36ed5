// The whole run of the tool, from the command line to the exit status.
#pragma once

int korvane_run(int argc, char **argv);
