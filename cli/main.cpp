// tobrel: the TobrelTools command-line tool.
#include "cli/dispatch.h"

#include "TobrelTools/export.h"

TOBREL_MODULE_ID("main.cpp", "2026.12.05");

int main(int argc, char** argv) { return tobrel::cli::runTool(argc, argv); }
