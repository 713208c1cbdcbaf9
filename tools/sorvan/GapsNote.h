// How the program tells of gaps in what it recorded or played.
#pragma once

#include <string>

#include "components/StreamGaps.h"

// "" without gaps, else e.g. "2 gaps, 35 ms lost (1 because sorvan fell behind)";
// `lost` names what a gap is ("lost" for a recording, "of silence" for playback).
std::string GapsNote(const TSVGaps& gaps, unsigned rate, const char* lost);

// Warns on stderr, even when quiet: a recording with gaps is never clean.
void WarnOfGaps(const TSVGaps& gaps, unsigned rate, const char* what, const char* lost);
