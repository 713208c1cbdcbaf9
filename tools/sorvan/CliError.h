// The failures the commands report to the user: a message that names the
// problem, printed as one line on stderr with a non-zero exit code.
#pragma once

#include <stdexcept>
#include <string>

class CliError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The user stopped the work (Ctrl-C) before it was done.
class Interrupted : public CliError {
  public:
    using CliError::CliError;
};

// What a shell reports for a program ended by SIGINT, and by SIGTERM.
inline constexpr int InterruptedExit = 130;
inline constexpr int TerminatedExit = 143;

// The system's wording for an errno value.
std::string SystemReason(int error);
