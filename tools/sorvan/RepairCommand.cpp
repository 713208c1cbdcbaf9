// sorvan repair FILE: completes a recording that was never closed (a crash
// leaves both size fields at 0, or only one written) from the file's own
// length, without removing any byte of it.
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

    // The sizes count whole frames only, as far as they can reach; every
    // byte stays in the file all the same.
    const std::uint64_t kept = CompleteFromLength(file.get(), layout, path);

    const double seconds = static_cast<double>(kept / layout.blockAlign) / layout.sampleRate;
    std::printf("%s repaired: %llu bytes of audio (%.2f s)", path.c_str(),
                static_cast<unsigned long long>(kept), seconds);
    const std::uint64_t rest = layout.BytesPresent() - kept;
    if (rest > 0 && rest < layout.blockAlign)
        std::printf("; the last %llu bytes are part of a frame and stay in the file, not counted",
                    static_cast<unsigned long long>(rest));
    else if (rest > 0)
        std::printf("; %llu more bytes lie past the 4 GiB a WAV file can describe: they stay in "
                    "the file after its data (as raw PCM at byte %llu)",
                    static_cast<unsigned long long>(rest),
                    static_cast<unsigned long long>(layout.dataOffset + kept));
    std::printf("\n");
}

}  // namespace

void AddRepairCommand(CLI::App& app) {
    auto* command = app.add_subcommand(
        "repair", "Complete a recording left unfinished by a crash (size fields still 0)");
    auto path = std::make_shared<std::string>();
    command->add_option("FILE", *path, "The WAV recording to complete")->required();
    command->footer(
        "No byte of the file is removed. Examples:\n"
        "  sorvan repair take.wav\n"
        "  sorvan play take.wav      plays an unfinished recording too, with a warning");
    command->callback([path] { Repair(*path); });
}
