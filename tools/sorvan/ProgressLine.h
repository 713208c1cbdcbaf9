// The one-line progress display of long work on a terminal: elapsed and
// remaining time, bytes moved, and a peak meter in dBFS. It draws nothing
// when stderr is not a terminal, so logs and pipes stay clean.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

class ProgressLine {
  public:
    // `verb` starts the line ("recording", "playing").
    explicit ProgressLine(std::string verb);
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // Redraws the line; `total` is the expected length when it is known.
    void Draw(double elapsedSeconds, std::optional<double> totalSeconds, std::uint64_t bytes,
              double peakLevel);
    // Removes the line so that the next output starts on a clean row.
    void Clear();

    // The line as Draw shows it, without terminal control characters.
    static std::string Format(const std::string& verb, double elapsedSeconds,
                              std::optional<double> totalSeconds, std::uint64_t bytes,
                              double peakLevel);

  private:
    std::string verb_;
    bool enabled_;
    bool drawn_ = false;
};
