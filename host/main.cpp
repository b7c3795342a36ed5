#include "korvane_run.h"

int main(int argc, char **argv)
{
    return korvane_run(argc, argv);
}
