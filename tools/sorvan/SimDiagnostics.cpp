#include "tools/sorvan/SimDiagnostics.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "platform/sim/Sim.h"
#include "tools/sorvan/CliError.h"
#include "tools/sorvan/Devices.h"
#include "tools/sorvan/DriverInfo.h"
#include "tools/sorvan/NumberChecks.h"

namespace {

std::optional<sorvan::wave::Fn> FunctionNamed(std::string_view name) {
    for (int fn = 0; fn <= static_cast<int>(sorvan::wave::Fn::waveOutRestart); ++fn)
        if (sorvan::wave::name(static_cast<sorvan::wave::Fn>(fn)) == name)
            return static_cast<sorvan::wave::Fn>(fn);
    return std::nullopt;
}

}  // namespace

void ApplySimDiagnostics() {
    const char* fail = std::getenv("SORVAN_SIM_FAIL");
    // Asking first also sets up the virtual devices, which would clear
    // failures queued before.
    if (!fail || !OnVirtualDevices()) return;
    const std::string setting = fail;
    const auto firstColon = setting.find(':');
    const auto secondColon = setting.find(':', firstColon + 1);
    const auto fn = FunctionNamed(setting.substr(0, firstColon));
    const auto code =
        ParseWholeNumber(setting.substr(firstColon + 1, secondColon - firstColon - 1));
    const auto count = secondColon == std::string::npos
                           ? std::optional<long long>(1)
                           : ParseWholeNumber(setting.substr(secondColon + 1));
    if (firstColon == std::string::npos || !fn || !code || !count)
        throw CliError("SORVAN_SIM_FAIL must look like waveInOpen:4[:COUNT], not '" + setting +
                       "'");
    sorvan::sim::failNext(*fn, static_cast<MMRESULT>(*code), static_cast<int>(*count));
}

void SavePlayedBytes(int deviceNumber) {
    const char* path = std::getenv("SORVAN_SIM_PLAYED");
    if (!path || !OnVirtualDevices()) return;
    if (deviceNumber < 0) deviceNumber = DefaultDeviceNumber(Direction::output).value_or(0);
    const auto bytes = sorvan::sim::played(static_cast<std::size_t>(deviceNumber));
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path, "wb"), std::fclose);
    if (!file || std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size())
        throw CliError(std::string("cannot write ") + path);
}
