#include "tools/sorvan/FormatNames.h"

#include <algorithm>
#include <cctype>

#include "tools/sorvan/CliError.h"

NamedFormat FormatNamed(const std::string& name) {
    std::string upper = name;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (upper == "CD") return {.bits = 16, .rate = 44100, .channels = 2};
    if (upper == "DAT") return {.bits = 16, .rate = 48000, .channels = 2};
    if (upper == "U8") return {.bits = 8};
    if (upper == "S16_LE") return {.bits = 16};
    if (upper == "S24_3LE") return {.bits = 24};
    if (upper == "S32_LE") return {.bits = 32};
    throw CliError("sample format '" + name +
                   "' is not one a wave device takes (U8, S16_LE, S24_3LE, S32_LE, or cd, dat)");
}
