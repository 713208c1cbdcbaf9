// Runs the sorvan program as a user would, on the virtual devices, and
// gives back what it printed and how it ended.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

struct CliResult {
    int exitCode = -1;  // -1 when the program died by a signal
    int signal = 0;
    std::string out;
    std::string err;
    bool timedOut = false;  // killed at the run's time limit
    long maxResidentKiB = 0;
};

struct RunLimits {
    std::chrono::seconds timeout{60};
    std::filesystem::path stdinFrom = "/dev/null";
};

using EnvVars = std::vector<std::pair<std::string, std::string>>;

// Runs `sorvan args...` with SORVAN_AUDIO=sim (unless `env` sets it) plus
// `env`, in `folder`.
CliResult RunSorvan(const std::vector<std::string>& args, const std::filesystem::path& folder,
                    const EnvVars& env = {}, const RunLimits& limits = {});

// A sorvan process left running, for tests that signal it.
class RunningSorvan {
  public:
    RunningSorvan(const std::vector<std::string>& args, const std::filesystem::path& folder,
                  const EnvVars& env = {});
    ~RunningSorvan();
    void Signal(int signal);
    // Kills the program when it has not ended within `limit`.
    CliResult Wait(std::chrono::seconds limit = std::chrono::seconds(60));

  private:
    pid_t pid_ = -1;
    std::filesystem::path outPath_;
    std::filesystem::path errPath_;
};

// Runs a shell command line (sox, soxi); returns its stdout, and its exit code in `code`.
std::string RunTool(const std::string& commandLine, int* code = nullptr);
bool ToolAvailable(const std::string& name);

// A fresh folder for one test, removed afterwards.
class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

std::vector<std::byte> ReadBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, const std::vector<std::byte>& bytes);
std::uint32_t Le32At(const std::vector<std::byte>& bytes, std::size_t at);
