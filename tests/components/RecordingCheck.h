// Whether a completed recording file holds exactly what the capture
// component delivered, in a form other readers accept.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/WaveApi.h"

namespace randomseq {

// The problems found, empty for a good file: the canonical 44-byte header
// describing `format`, both size fields and the length matching the bytes
// delivered, the data being those bytes in order, and libsndfile reading
// frames x block align = data size.
std::vector<std::string> CheckRecording(const std::filesystem::path& path,
                                        const std::vector<char>& delivered,
                                        const WAVEFORMATEX& format);

}  // namespace randomseq
