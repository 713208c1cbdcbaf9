#include "CliRunner.h"

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <array>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace {

std::string ReadText(const std::filesystem::path& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

pid_t Spawn(const std::vector<std::string>& args, const std::filesystem::path& folder,
            const EnvVars& env, const std::filesystem::path& out, const std::filesystem::path& err,
            const std::filesystem::path& in = "/dev/null") {
    std::vector<std::string> argv{SORVAN_EXE};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> argp;
    for (auto& arg : argv) argp.push_back(arg.data());
    argp.push_back(nullptr);

    std::vector<std::string> envText;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        if (!text.starts_with("SORVAN_")) envText.push_back(text);
    }
    bool driverGiven = false;
    for (const auto& [name, value] : env) {
        envText.push_back(name + "=" + value);
        driverGiven |= name == "SORVAN_AUDIO";
    }
    if (!driverGiven) envText.push_back("SORVAN_AUDIO=sim");
    std::vector<char*> envp;
    for (auto& entry : envText) envp.push_back(entry.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    pid_t pid = -1;
    const int failed = posix_spawn(&pid, argp[0], &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (failed) throw std::runtime_error("cannot start " SORVAN_EXE);
    return pid;
}

// A program that hangs is killed after the deadline, and the test sees it.
CliResult Reap(pid_t pid, const std::filesystem::path& out, const std::filesystem::path& err,
               std::chrono::seconds limit = std::chrono::seconds(60)) {
    int status = 0;
    rusage usage{};
    const auto deadline = std::chrono::steady_clock::now() + limit;
    bool killed = false;
    while (wait4(pid, &status, WNOHANG, &usage) == 0) {
        if (std::chrono::steady_clock::now() > deadline && !killed) {
            kill(pid, SIGKILL);
            killed = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    CliResult result;
    result.timedOut = killed;
    result.maxResidentKiB = usage.ru_maxrss;
    if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    result.out = ReadText(out);
    result.err = ReadText(err);
    return result;
}

std::filesystem::path OutputPath(const char* suffix) {
    static int counter = 0;
    return std::filesystem::temp_directory_path() /
           ("sorvan-cli-" + std::to_string(getpid()) + "-" + std::to_string(++counter) + suffix);
}

}  // namespace

CliResult RunSorvan(const std::vector<std::string>& args, const std::filesystem::path& folder,
                    const EnvVars& env, const RunLimits& limits) {
    const auto out = OutputPath(".out");
    const auto err = OutputPath(".err");
    CliResult result =
        Reap(Spawn(args, folder, env, out, err, limits.stdinFrom), out, err, limits.timeout);
    std::filesystem::remove(out);
    std::filesystem::remove(err);
    return result;
}

RunningSorvan::RunningSorvan(const std::vector<std::string>& args,
                             const std::filesystem::path& folder, const EnvVars& env)
    : outPath_(OutputPath(".out")), errPath_(OutputPath(".err")) {
    pid_ = Spawn(args, folder, env, outPath_, errPath_);
}

RunningSorvan::~RunningSorvan() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    std::filesystem::remove(outPath_);
    std::filesystem::remove(errPath_);
}

void RunningSorvan::Signal(int signal) {
    kill(pid_, signal);
}

CliResult RunningSorvan::Wait(std::chrono::seconds limit) {
    CliResult result = Reap(pid_, outPath_, errPath_, limit);
    pid_ = -1;
    return result;
}

std::string RunTool(const std::string& commandLine, int* code) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(commandLine.c_str(), "r"), pclose);
    std::string output;
    std::array<char, 256> chunk;
    while (pipe && fgets(chunk.data(), chunk.size(), pipe.get())) output += chunk.data();
    const int status = pclose(pipe.release());
    if (code) *code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return output;
}

bool ToolAvailable(const std::string& name) {
    int code = 0;
    RunTool("command -v " + name + " >/dev/null 2>&1", &code);
    return code == 0;
}

TempFolder::TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "sorvan-cli-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot make a temporary folder");
    path_ = pattern;
}

TempFolder::~TempFolder() {
    std::filesystem::remove_all(path_);
}

std::vector<std::byte> ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::byte> bytes;
    for (std::istreambuf_iterator<char> at(in), end; at != end; ++at)
        bytes.push_back(static_cast<std::byte>(*at));
    return bytes;
}

void WriteBytes(const std::filesystem::path& path, const std::vector<std::byte>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::uint32_t Le32At(const std::vector<std::byte>& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | std::to_integer<std::uint32_t>(bytes.at(at + i));
    return value;
}
