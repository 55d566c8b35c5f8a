// tobrel: the TobrelTools command-line tool.
#include "cli/dispatch.h"

static const char sccsid[] __attribute__((used)) = "@(#)main.cpp:  Ver01.00  2026.12.05";

int main(int argc, char** argv) { return tobrel::cli::runTool(argc, argv); }
