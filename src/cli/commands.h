#pragma once
// The subcommands of `nura`. Each takes the arguments after its own name and returns the exit status:
// 0 success, 1 an unreadable input or a failed write, 2 bad usage or input that is not the camera's.

#include <string>
#include <vector>

using CliArgs = std::vector<std::string>;

int runList(const CliArgs& args);
int runTelemetry(const CliArgs& args);
int runConfig(const CliArgs& args);
int runCard(const CliArgs& args);
