// Checks for numeric arguments, run by CLI11 before it converts them, so that
// every bad number gets a message that says what is wrong with it.
#pragma once

#include <CLI/CLI.hpp>
#include <optional>
#include <string>

// A whole number from min to max ("abc", "1.5", "-3", "0" and "99999999999"
// each get their own message).
CLI::Validator WholeNumberIn(long long min, long long max);

// A duration above 0 and at most max seconds, written as seconds ("90",
// "2.5", "5s"), milliseconds ("250ms"), or minutes:seconds and
// hours:minutes:seconds ("1:30", "1:02:03.5").
CLI::Validator SecondsUpTo(double max);
// Parses a duration as SecondsUpTo accepts it (any size).
std::optional<double> ParseDuration(const std::string& text);

// "1 second", "2.5 seconds", "90 seconds": at most two decimals.
std::string SecondsInWords(double seconds);

// A sample rate from min to max in Hz, also written in kHz ("44.1k", "48k").
CLI::Validator RateIn(long long min, long long max);
// Parses a rate as RateIn accepts it; empty when it is no whole number of Hz.
std::optional<long long> ParseRate(const std::string& text);

// Parses what WholeNumberIn accepted.
std::optional<long long> ParseWholeNumber(const std::string& text);
