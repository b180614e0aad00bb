#include "cli/commands.h"

int runList(const CliArgs&) { return 2; }
