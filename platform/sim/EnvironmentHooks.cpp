#include "platform/sim/EnvironmentHooks.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/sim/SimDriver.h"

namespace sorvan::sim {

namespace {

std::optional<Fn> functionNamed(std::string_view text) {
    for (int fn = 0; fn <= static_cast<int>(Fn::waveOutRestart); ++fn) {
        if (wave::name(static_cast<Fn>(fn)) == text) return static_cast<Fn>(fn);
    }
    return std::nullopt;
}

std::optional<long> wholeNumber(const std::string& text) {
    if (text.empty()) return std::nullopt;
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || value < 0) return std::nullopt;
    return value;
}

void applyFailure(const std::string& setting) {
    const auto firstColon = setting.find(':');
    const auto secondColon =
        firstColon == std::string::npos ? std::string::npos : setting.find(':', firstColon + 1);
    const auto fn = functionNamed(setting.substr(0, firstColon));
    const auto code = firstColon == std::string::npos
                          ? std::nullopt
                          : wholeNumber(setting.substr(firstColon + 1,
                                                       secondColon - firstColon - 1));
    const auto count = secondColon == std::string::npos
                           ? std::optional<long>(1)
                           : wholeNumber(setting.substr(secondColon + 1));
    if (!fn || !code || !count) {
        std::fprintf(stderr,
                     "sim devices: SORVAN_SIM_FAIL must look like waveInOpen:4[:COUNT]; '%s' "
                     "ignored\n",
                     setting.c_str());
        return;
    }
    SimDriver::instance()->failNext(*fn, static_cast<MMRESULT>(*code), static_cast<int>(*count),
                                    std::nullopt);
}

void setUpDevices(const std::string& setting) {
    const auto count = wholeNumber(setting);
    if (!count || *count < 1 || *count > 64) {
        std::fprintf(stderr, "sim devices: SORVAN_SIM_DEVICES must be 1 to 64; '%s' ignored\n",
                     setting.c_str());
        return;
    }
    Setup setup = defaultSetup();
    for (long n = 2; n <= *count; ++n) {
        // Formatted in one go: GCC 12 misreads string concatenation at -O3
        // as overlapping copies (-Werror=restrict).
        char suffix[24];
        std::snprintf(suffix, sizeof suffix, " %ld", n);
        InputDevice input = setup.inputs.front();
        input.name.append(suffix);
        setup.inputs.push_back(std::move(input));
        OutputDevice output = setup.outputs.front();
        output.name.append(suffix);
        setup.outputs.push_back(std::move(output));
    }
    SimDriver::instance()->setUp(std::move(setup));
}

void savePlayedBytes() {
    const char* path = std::getenv("SORVAN_SIM_PLAYED");
    if (path == nullptr) return;
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path, "wb"),
                                                              std::fclose);
    auto& driver = *SimDriver::instance();
    const std::size_t outputs = driver.deviceCount(wave::Direction::output);
    for (std::size_t index = 0; file && index < outputs; ++index) {
        const auto bytes = driver.played(index);
        // fwrite's pointer must be valid even for no bytes; an empty vector's is null.
        if (bytes.empty()) continue;
        if (std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) break;
    }
}

}  // namespace

void applyEnvironmentHooks() {
    static std::once_flag once;
    std::call_once(once, [] {
        // Setting up the devices clears failures: it comes first.
        if (const char* devices = std::getenv("SORVAN_SIM_DEVICES")) setUpDevices(devices);
        if (const char* fail = std::getenv("SORVAN_SIM_FAIL")) applyFailure(fail);
        if (std::getenv("SORVAN_SIM_PLAYED") != nullptr) std::atexit(savePlayedBytes);
    });
}

}  // namespace sorvan::sim
