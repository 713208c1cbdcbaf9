// The one-line progress display of long work on a terminal: elapsed and
// remaining time, bytes moved, and a peak meter in dBFS, cut to fit the
// terminal's width. It draws nothing when stderr is not a terminal (or when
// asked to be quiet), so logs and pipes stay clean, and uses no escape codes
// on a terminal that takes none (TERM=dumb).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class ProgressLine {
  public:
    // `verb` starts the line ("recording", "playing").
    explicit ProgressLine(std::string verb, bool quiet = false);
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // Redraws the line; `total` is the expected length when it is known.
    void Draw(double elapsedSeconds, std::optional<double> totalSeconds, std::uint64_t bytes,
              double peakLevel);
    // Removes the line so that the next output starts on a clean row.
    void Clear();

    // The line as Draw shows it on a terminal `columns` wide, without
    // terminal control characters: shorter than `columns`.
    static std::string Format(const std::string& verb, double elapsedSeconds,
                              std::optional<double> totalSeconds, std::uint64_t bytes,
                              double peakLevel, int columns = 1000);

    // The first of `variants` (fullest first) that fits on one row of the
    // terminal `fd` writes to; the first when `fd` is no terminal.
    static std::string FitTerminal(const std::vector<std::string>& variants, int fd);

  private:
    static int Columns(int fd);

    std::string verb_;
    bool enabled_;
    bool escapes_;
    bool drawn_ = false;
    std::size_t drawnWidth_ = 0;
};
