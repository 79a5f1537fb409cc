// SPDX-License-Identifier: MIT
#pragma once

#include <filesystem>
#include <string>
#include <vector>

// What vantrel-demo runs for its arguments (without its own name): vantrel with them, or, when
// the first one names another program, that program with the rest. A first argument that is a
// register file (it ends in ".cy22150.bin", or it is an existing file that is not executable) is
// vantrel's FILE, as in `vantrel FILE`. vantrel runs in vantrel-demo's own folder, so each
// register file among its arguments is made absolute from the folder the command was given in.
struct DemoRun {
    std::string program;            // a path, or a name for the PATH
    std::vector<std::string> args;  // program first
    bool other = false;             // not vantrel
};
DemoRun demoRun(const std::vector<std::string>& arguments, const std::filesystem::path& here,
                const std::filesystem::path& workingDirectory);
