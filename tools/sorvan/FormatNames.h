// arecord's names for sample formats (-f): the sample encodings a wave
// device takes, and the two shorthands for whole formats.
#pragma once

#include <optional>
#include <string>

struct NamedFormat {
    int bits = 16;
    // Set by the shorthands: cd = 16-bit, 44100 Hz, stereo; dat = 16-bit,
    // 48000 Hz, stereo.
    std::optional<int> rate;
    std::optional<int> channels;
};

// "cd", "dat", "U8", "S16_LE", "S24_3LE", "S32_LE" (any letter case).
// Raises CliError for other names, saying which ones a wave device takes.
NamedFormat FormatNamed(const std::string& name);
