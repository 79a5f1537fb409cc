// SPDX-License-Identifier: MIT
// vantrel-demo: runs the real, unmodified vantrel on an emulated i2c-tiny-usb adapter with a
// CY22150 behind it, so that the tool can be tried without the hardware.
// `vantrel-demo PROGRAM [ARGS...]` runs another program there instead, such as
// `vantrel-demo vantrel-cli read`; a program without a slash is looked for beside vantrel-demo
// first, then on the PATH. `vantrel-demo FILE` opens the window with that register file, as
// `vantrel FILE` does (demoarguments.h).
//
// VANTREL_DEMO_FIRMWARE names the adapter's firmware: "original" (the default) or "vendor-only"
// (a port that answers vendor requests only, as TinyUSB-based ones do).
//
// vantrel-demo's own options come first: --raspberry-pi adds a Raspberry Pi's I2C bus (i2c-1,
// driver i2c-bcm2835) with a second CY22150 at 0x69; --help describes the demo.
//
// The emulated USB devices live in a umockdev testbed made by this process. vantrel runs as a
// child with umockdev's preload library and sees them through libusb-1.0 like real devices; each
// control transfer it sends arrives here and is answered by the simulated adapter and chip.

#include "demoarguments.h"
#include "demomachine.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

extern char** environ;

namespace {
const char* const PreloadLibrary = "libumockdev-preload.so.0";
const int ShownRegisters[] = {0x09, 0x0C, 0x12, 0x13, 0x40, 0x41, 0x42, 0x44, 0x45, 0x46, 0x47};

// The environment of this process with umockdev's preload library in front of LD_PRELOAD.
// UMOCKDEV_DIR, which leads the library to the testbed, is already set by the testbed.
std::vector<std::string> childEnvironment() {
    std::vector<std::string> env;
    std::string preload = PreloadLibrary;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        if (entry.rfind("LD_PRELOAD=", 0) == 0)
            preload += ":" + entry.substr(std::string("LD_PRELOAD=").size());
        else
            env.push_back(entry);
    }
    env.push_back("LD_PRELOAD=" + preload);
    return env;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> p;
    for (std::string& s : strings)
        p.push_back(s.data());
    p.push_back(nullptr);
    return p;
}

// Starts `program` with `args` (its name first), in `directory` unless that is empty, and waits
// for it; returns its exit code. Ctrl-C reaches the program, and this process stays to clean up
// after it.
int runProgram(const std::string& program, std::vector<std::string> args,
               const std::filesystem::path& directory) {
    std::vector<std::string> env = childEnvironment();
    std::vector<char*> argPointers = pointers(args);
    std::vector<char*> envPointers = pointers(env);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!directory.empty())
        posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
    pid_t child = 0;
    const int spawned = posix_spawnp(&child, program.c_str(), &actions, nullptr, argPointers.data(),
                                     envPointers.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        std::fprintf(stderr, "vantrel-demo: cannot start %s\n", program.c_str());
        return 127;
    }
    signal(SIGINT, SIG_IGN);
    signal(SIGQUIT, SIG_IGN);
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR)
            return 1;
    }
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return WEXITSTATUS(status);
}

void printRegisters(std::FILE* stream, const char* chip, int writes,
                    const std::function<quint8(int)>& registerValue) {
    std::fprintf(
        stream, "vantrel-demo: the emulated CY22150%s received %d register writes and now holds:\n",
        chip, writes);
    for (int reg : ShownRegisters)
        std::fprintf(stream, " 0x%02X=0x%02X", reg, registerValue(reg));
    std::fprintf(stream, "\n");
}

void printChips(std::FILE* stream, const DemoMachine& machine) {
    int writes = 0;
    for (const ControlTransferRecord& t : machine.adapter->adapterTransfers())
        writes += t.setup.request == 7 ? 1 : 0;
    printRegisters(stream, machine.raspberryPiBus ? " on the adapter" : "", writes,
                   [&](int reg) { return machine.adapter->chipRegister(reg); });
    if (!machine.raspberryPiBus)
        return;
    // A register write on the bus is one message of the register and its value.
    writes = 0;
    for (const I2cTransferRecord& t : machine.raspberryPiBus->traffic())
        writes +=
            t.result == 1 && !t.messages.front().isRead() && t.messages.front().bytes.size() >= 2
                ? 1
                : 0;
    printRegisters(stream, " on i2c-1", writes,
                   [&](int reg) { return machine.raspberryPiBus->chipRegister(reg); });
}

void printHelp() {
    std::printf(
        "Usage: vantrel-demo [--raspberry-pi] [FILE | PROGRAM [ARGS...]]\n"
        "Runs vantrel (or PROGRAM, such as vantrel-cli) on an emulated machine: an i2c-tiny-usb\n"
        "adapter on USB bus 1, device 4, with a CY22150 at 0x69, and two ordinary USB devices.\n"
        "Options without PROGRAM go to vantrel; a register file FILE opens in its window.\n"
        "\n"
        "  --raspberry-pi  also a Raspberry Pi's I2C bus i2c-1 (/dev/i2c-1, driver i2c-bcm2835)\n"
        "                  with a second CY22150 at 0x69\n"
        "  --help          this text (vantrel's own: vantrel-demo vantrel --help)\n"
        "\n"
        "VANTREL_DEMO_FIRMWARE chooses the adapter's firmware: original (the default) or\n"
        "vendor-only.\n");
}
}  // namespace

int main(int argc, char* argv[]) {
    const std::filesystem::path here =
        std::filesystem::read_symlink("/proc/self/exe").parent_path();
    // The demo's own options lead; then a first argument that is neither an option nor a register
    // file names the program, and vantrel itself gets the rest.
    int first = 1;
    bool raspberryPi = false;
    for (; first < argc; ++first) {
        const std::string_view option = argv[first];
        if (option == "--help") {
            printHelp();
            return 0;
        }
        if (option != "--raspberry-pi")
            break;
        raspberryPi = true;
    }
    const DemoRun run = demoRun(std::vector<std::string>(argv + first, argv + argc), here,
                                std::filesystem::current_path());
    const bool other = run.other;
    const std::string name = other ? argv[first] : "vantrel";
    const std::string& program = run.program;
    const std::vector<std::string>& args = run.args;
    // Another program's standard output stays its own, for scripts; these notes go to stderr.
    std::FILE* notes = other ? stderr : stdout;
    const char* firmwareName = std::getenv("VANTREL_DEMO_FIRMWARE");
    const SimFirmwareProfile* firmware = firmwareName != nullptr && *firmwareName != '\0'
                                             ? SimFirmware::find(firmwareName)
                                             : &SimFirmware::original();
    if (firmware == nullptr) {
        std::fprintf(stderr, "vantrel-demo: VANTREL_DEMO_FIRMWARE takes");
        for (const SimFirmwareProfile& p : SimFirmware::Profiles)
            std::fprintf(stderr, " %s", p.name);
        std::fprintf(stderr, ", not \"%s\"\n", firmwareName);
        return 2;
    }
    int result = 0;
    {
        DemoMachine machine(*firmware, raspberryPi);
        const std::string with = firmware == &SimFirmware::original()
                                     ? std::string()
                                     : std::string(" (") + firmware->description + ")";
        const char* pi = raspberryPi ? ", and a Raspberry Pi's I2C bus i2c-1 (i2c-bcm2835) has "
                                       "another CY22150 at 0x69"
                                     : "";
        std::fprintf(notes,
                     "vantrel-demo: an emulated i2c-tiny-usb adapter%s (bus 1, device 4) with a "
                     "CY22150 at 0x69 is plugged in%s; starting %s.\n",
                     with.c_str(), pi, name.c_str());
        std::fflush(notes);
        // vantrel runs where chip.png, the window icon, is; another program where it was called,
        // so that its file names mean what they say.
        result = runProgram(program, args, other ? std::filesystem::path() : here);
        printChips(notes, machine);
    }
    return result;
}
