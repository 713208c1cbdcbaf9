// sorvan: record from and play to sound devices with the Sorvan components.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>

#include "tools/sorvan/CliError.h"
#include "tools/sorvan/Commands.h"
#include "tools/sorvan/DesignerCommands.h"
#include "tools/sorvan/DriverInfo.h"
#include "tools/sorvan/StopSignal.h"

namespace {

constexpr int UsageExit = 2;

// CLI11 would add a second line pointing at --help; one line is enough.
std::string OneLineFailure(const CLI::App*, const CLI::Error& e) {
    return "sorvan: " + std::string(e.what()) + " (see --help)\n";
}

bool IsCommand(const CLI::App& app, const std::string& name) {
    try {
        app.get_subcommand(name);
        return true;
    } catch (const CLI::OptionNotFound&) {
        return false;
    }
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Record and play audio through the Sorvan components.", "sorvan"};
    app.failure_message(OneLineFailure);
    app.require_subcommand(1);
    app.set_version_flag("--version", "sorvan " SORVAN_VERSION);

    AddDevicesCommand(app);
    AddRecordCommand(app);
    AddPlayCommand(app);
    AddVolumeCommand(app);
    AddRepairCommand(app);
    AddDemoCommand(app);
    AddDesignerCommands(app);

    // CLI11 would only say that a command is required.
    if (argc > 1 && argv[1][0] != '-' && !IsCommand(app, argv[1])) {
        std::fprintf(stderr, "sorvan: unknown command '%s' (see --help)\n", argv[1]);
        return UsageExit;
    }

    try {
        CheckDriverChoice();
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? 0 : UsageExit;
    } catch (const Interrupted& e) {
        std::fprintf(stderr, "sorvan: %s\n", e.what());
        return StopSignalName() == "SIGTERM" ? TerminatedExit : InterruptedExit;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "sorvan: %s\n", e.what());
        return 1;
    }
    return 0;
}
