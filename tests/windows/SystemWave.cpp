#include "SystemWave.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "framework/Forms.h"

namespace systemwave {

namespace {

bool limitReached = false;

void CALLBACK EndLoop(HWND, UINT, UINT_PTR, DWORD) {
    limitReached = true;
    Application->Terminate();
}

std::uint32_t Le(const std::vector<char>& bytes, std::size_t at, int width) {
    std::uint32_t value = 0;
    for (int i = width - 1; i >= 0; --i)
        value = value << 8 | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    return value;
}

}  // namespace

bool RunUntilTerminated(std::chrono::milliseconds limit) {
    limitReached = false;
    const UINT_PTR timer = SetTimer(nullptr, 0, static_cast<UINT>(limit.count()), EndLoop);
    Application->Run();
    KillTimer(nullptr, timer);
    return !limitReached;
}

void RunFor(std::chrono::milliseconds span) {
    RunUntilTerminated(span);
}

std::string WineVersion() {
    using Proc = const char*(CDECL*)();
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    if (ntdll == nullptr) return {};
    const auto proc =
        reinterpret_cast<Proc>(reinterpret_cast<void*>(GetProcAddress(ntdll, "wine_get_version")));
    return proc != nullptr ? proc() : std::string();
}

void ReportSystemBehaviour(const std::string& what) {
    const std::string system = WineVersion().empty() ? "Windows" : "Wine " + WineVersion();
    std::printf("[ SYSTEM   ] %s: %s\n", system.c_str(), what.c_str());
    testing::Test::RecordProperty("system_behaviour", what);
}

bool ReadRecordingFile(const std::string& path, RecordingFile& file) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in), {}};
    if (bytes.size() < 44) return false;
    const std::string riff(bytes.begin(), bytes.begin() + 4);
    const std::string wave(bytes.begin() + 8, bytes.begin() + 16);
    const std::string data(bytes.begin() + 36, bytes.begin() + 40);
    if (riff != "RIFF" || wave != "WAVEfmt " || data != "data") return false;
    file.FileSize = static_cast<std::uint32_t>(bytes.size());
    file.RiffSize = Le(bytes, 4, 4);
    file.FormatTag = static_cast<std::uint16_t>(Le(bytes, 20, 2));
    file.Channels = static_cast<std::uint16_t>(Le(bytes, 22, 2));
    file.SamplesPerSec = Le(bytes, 24, 4);
    file.AvgBytesPerSec = Le(bytes, 28, 4);
    file.BlockAlign = static_cast<std::uint16_t>(Le(bytes, 32, 2));
    file.BitsPerSample = static_cast<std::uint16_t>(Le(bytes, 34, 2));
    file.DataSize = Le(bytes, 40, 4);
    file.Data.assign(bytes.begin() + 44, bytes.end());
    return true;
}

TemporaryFile::TemporaryFile(const std::string& name)
    : path_((std::filesystem::temp_directory_path() / name).string()) {
    std::filesystem::remove(path_);
}

TemporaryFile::~TemporaryFile() {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
}

}  // namespace systemwave
