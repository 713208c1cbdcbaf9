// Checks for numeric arguments, run by CLI11 before it converts them, so that
// every bad number gets a message that says what is wrong with it.
#pragma once

#include <CLI/CLI.hpp>
#include <optional>
#include <string>

// A whole number from min to max ("abc", "1.5", "-3", "0" and "99999999999"
// each get their own message).
CLI::Validator WholeNumberIn(long long min, long long max);

// A finite number of seconds above 0 and at most max.
CLI::Validator SecondsUpTo(double max);

// Parses what WholeNumberIn accepted.
std::optional<long long> ParseWholeNumber(const std::string& text);
