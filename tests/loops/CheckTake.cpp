// check_take TAKE.WAV PLAYED.RAW [EXTRA]: the recording an example made is
// 16-bit mono at 44.1 kHz, two seconds long (EXTRA frames more at most, one
// capture buffer unless told), not silent,
// and exactly what the virtual output device played.
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: check_take TAKE.WAV PLAYED.RAW [EXTRA]\n");
        return 2;
    }
    const long long extra = argc == 4 ? std::atoll(argv[3]) : 1024;
    SF_INFO info{};
    SNDFILE* file = sf_open(argv[1], SFM_READ, &info);
    if (file == nullptr) {
        std::fprintf(stderr, "%s: %s\n", argv[1], sf_strerror(nullptr));
        return 1;
    }
    std::vector<short> samples(static_cast<std::size_t>(info.frames));
    const sf_count_t read = sf_readf_short(file, samples.data(), info.frames);
    sf_close(file);
    int failures = 0;
    auto fail = [&](const char* what) {
        std::fprintf(stderr, "%s: %s\n", argv[1], what);
        ++failures;
    };
    if (info.samplerate != 44100 || info.channels != 1 ||
        (info.format & SF_FORMAT_SUBMASK) != SF_FORMAT_PCM_16)
        fail("not 16-bit mono at 44.1 kHz");
    if (read != info.frames) fail("shorter than its header says");
    if (info.frames < 88200 || info.frames > 88200 + extra) fail("not two seconds long");
    double power = 0;
    for (short s : samples) power += static_cast<double>(s) * s;
    if (samples.empty() || std::sqrt(power / static_cast<double>(samples.size())) < 100)
        fail("silent");
    std::ifstream played(argv[2], std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(played), {}};
    if (bytes.size() != samples.size() * sizeof(short) ||
        !std::equal(bytes.begin(), bytes.end(), reinterpret_cast<const char*>(samples.data())))
        fail("not what was played");
    if (failures == 0)
        std::printf("%s: %lld frames, played back exactly\n", argv[1],
                    static_cast<long long>(info.frames));
    return failures == 0 ? 0 : 1;
}
