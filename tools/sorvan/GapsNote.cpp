#include "tools/sorvan/GapsNote.h"

#include <cstdio>

std::string GapsNote(const TSVGaps& gaps, unsigned rate, const char* lost) {
    if (gaps.count() == 0) return {};
    std::string note = std::to_string(gaps.count()) + (gaps.count() == 1 ? " gap" : " gaps");
    if (gaps.frames() > 0 && rate > 0) {
        char time[48];
        std::snprintf(time, sizeof time, ", %.0f ms %s", 1000.0 * static_cast<double>(gaps.frames()) / rate,
                      lost);
        note += time;
    }
    if (gaps.lateGaps > 0) {
        note += " (" + std::to_string(gaps.lateGaps) + " because sorvan fell behind)";
    }
    return note;
}

void WarnOfGaps(const TSVGaps& gaps, unsigned rate, const char* what, const char* lost) {
    if (gaps.count() == 0) return;
    std::fprintf(stderr, "sorvan: warning: the %s has %s\n", what, GapsNote(gaps, rate, lost).c_str());
}
