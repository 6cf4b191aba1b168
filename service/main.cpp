// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CommandLine.h"

int main(int argc, char **argv)
{
    return OrvelanNimbal::Service::runCommandLine(argc, argv);
}
