// SPDX-License-Identifier: MIT
#include "demoarguments.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>

namespace {
bool endsWithExtension(const std::string& name) {
    const std::string extension = ".cy22150.bin";
    if (name.size() < extension.size())
        return false;
    return std::equal(extension.rbegin(), extension.rend(), name.rbegin(), [](char a, char b) {
        return a == std::tolower(static_cast<unsigned char>(b));
    });
}

std::filesystem::path from(const std::filesystem::path& workingDirectory, const std::string& name) {
    const std::filesystem::path path(name);
    return path.is_absolute() ? path : workingDirectory / path;
}

bool isRegisterFile(const std::string& name, const std::filesystem::path& workingDirectory) {
    if (name.empty() || name[0] == '-')
        return false;
    if (endsWithExtension(name))
        return true;
    const std::filesystem::path path = from(workingDirectory, name);
    std::error_code error;
    return std::filesystem::is_regular_file(path, error) && ::access(path.c_str(), X_OK) != 0;
}

// Beside vantrel-demo when it is there, else as given (a path, or a name for the PATH).
std::string programFor(const std::filesystem::path& here, const std::string& name) {
    std::error_code error;
    if (name.find('/') == std::string::npos && std::filesystem::exists(here / name, error))
        return (here / name).string();
    return name;
}
}  // namespace

DemoRun demoRun(const std::vector<std::string>& arguments, const std::filesystem::path& here,
                const std::filesystem::path& workingDirectory) {
    DemoRun run;
    const std::string first = arguments.empty() ? std::string() : arguments.front();
    run.other = !first.empty() && first[0] != '-' && !isRegisterFile(first, workingDirectory);
    run.program = run.other ? programFor(here, first) : (here / "vantrel").string();
    run.args.push_back(run.program);
    for (std::size_t i = run.other ? 1 : 0; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        const bool file = !run.other && isRegisterFile(a, workingDirectory);
        run.args.push_back(file ? from(workingDirectory, a).string() : a);
    }
    return run;
}
