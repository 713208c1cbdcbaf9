// sorvan repair FILE: completes a recording that was never closed (a crash
// leaves both size fields at 0) from the file's own length.
#include <fcntl.h>
#include <unistd.h>
#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdio>
#include <memory>

#include "tools/sorvan/CliError.h"
#include "tools/sorvan/Commands.h"
#include "tools/sorvan/UniqueFd.h"
#include "tools/sorvan/WavLayout.h"

namespace {

void Repair(const std::string& path) {
    UniqueFd file(::open(path.c_str(), O_RDWR | O_CLOEXEC));
    if (!file) throw CliError("cannot open " + path + " for repair: " + SystemReason(errno));
    const WavLayout layout = ReadWavLayout(file.get(), path);
    if (layout.IsComplete()) {
        std::printf("%s is complete; nothing to repair\n", path.c_str());
        return;
    }

    // Only whole frames count: a crash can cut the last one short.
    const std::uint64_t keep = CompleteFromLength(file.get(), layout, path);

    const double seconds = static_cast<double>(keep / layout.blockAlign) / layout.sampleRate;
    std::printf("%s repaired: %llu bytes of audio (%.2f s)", path.c_str(),
                static_cast<unsigned long long>(keep), seconds);
    if (keep < layout.BytesPresent())
        std::printf(", %llu trailing bytes dropped",
                    static_cast<unsigned long long>(layout.BytesPresent() - keep));
    std::printf("\n");
}

}  // namespace

void AddRepairCommand(CLI::App& app) {
    auto* command = app.add_subcommand(
        "repair", "Complete a recording left unfinished by a crash (size fields still 0)");
    auto path = std::make_shared<std::string>();
    command->add_option("FILE", *path, "The WAV recording to complete")->required();
    command->callback([path] { Repair(*path); });
}
