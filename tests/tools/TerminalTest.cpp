// The progress line as a terminal shows it: run in a pseudo-terminal of a
// given width, every redraw must fit on one row, and a terminal that takes
// no escape codes (TERM=dumb) gets none.
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "CliRunner.h"

namespace {

struct TerminalRun {
    int exitCode = -1;
    std::string screen;  // everything written to the terminal
};

TerminalRun RunOnTerminal(const std::vector<std::string>& args, const std::filesystem::path& folder,
                          unsigned short columns, const std::string& term) {
    winsize size{};
    size.ws_col = columns;
    size.ws_row = 24;
    int master = -1;
    const pid_t pid = forkpty(&master, nullptr, nullptr, &size);
    if (pid == 0) {
        if (chdir(folder.c_str()) != 0) _exit(127);
        setenv("SORVAN_AUDIO", "sim", 1);
        setenv("TERM", term.c_str(), 1);
        unsetenv("COLUMNS");
        std::vector<std::string> argv{SORVAN_EXE};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> argp;
        for (auto& arg : argv) argp.push_back(arg.data());
        argp.push_back(nullptr);
        execv(argp[0], argp.data());
        _exit(127);
    }
    TerminalRun run;
    char chunk[4096];
    for (;;) {
        const ssize_t got = read(master, chunk, sizeof chunk);
        if (got > 0) run.screen.append(chunk, static_cast<std::size_t>(got));
        else if (got < 0 && errno == EINTR) continue;
        else break;  // EIO once the program has closed the terminal
    }
    close(master);
    int status = 0;
    waitpid(pid, &status, 0);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// The rows as the terminal would draw them: each carriage return or newline
// starts again at the left edge; escape codes take no room.
std::vector<std::string> Redraws(std::string screen) {
    for (std::size_t at; (at = screen.find("\033[K")) != std::string::npos;) screen.erase(at, 3);
    std::vector<std::string> rows(1);
    for (const char c : screen) {
        if (c == '\r' || c == '\n')
            rows.emplace_back();
        else
            rows.back() += c;
    }
    return rows;
}

class ProgressOnTerminal : public testing::TestWithParam<unsigned short> {};

TEST_P(ProgressOnTerminal, EveryRedrawFitsOneRow) {
    const unsigned short columns = GetParam();
    for (const std::string term : {"xterm", "dumb"}) {
        TempFolder folder;
        const TerminalRun run =
            RunOnTerminal({"record", "take.wav", "-d", "0.6"}, folder.path(), columns, term);
        ASSERT_EQ(run.exitCode, 0) << run.screen;
        EXPECT_NE(run.screen.find("recording 0:00"), std::string::npos) << run.screen;
        for (const auto& row : Redraws(run.screen))
            EXPECT_LT(row.size(), columns) << term << ": '" << row << "'";
        if (term == "dumb") {
            EXPECT_EQ(run.screen.find('\033'), std::string::npos) << "escape code for TERM=dumb";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Widths, ProgressOnTerminal, testing::Values(50, 80, 200));

}  // namespace
