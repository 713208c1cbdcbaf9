#include "AlsaTestSetup.h"

#include <alsa/asoundlib.h>
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "platform/wave/Driver.h"

namespace sorvan::alsatest {

namespace {

// A folder of this process's own (CTest runs the tests in parallel),
// removed when the process ends.
class Folder {
  public:
    Folder() {
        std::string pattern = std::filesystem::temp_directory_path() / "sorvan-alsa-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        path_ = pattern;
    }
    ~Folder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

const std::string& folder() {
    static const Folder instance;
    return instance.path();
}

std::string configuration(bool defaultOpens) {
    const std::string test = std::string(" type sorvan_test");
    auto hinted = [](const std::string& name, const std::string& body) {
        return "pcm." + name + " {" + body + " hint { description \"" + name + "\" } }\n";
    };
    return "pcm_type.sorvan_test { lib \"" SORVAN_ALSA_TEST_PCM "\" }\n" +
           hinted("default", defaultOpens ? test : test + " busy true") +
           hinted("silence", " type null") +
           hinted("tape",
                  " type file slave.pcm \"silence\" format raw file \"" + tapePath() + "\"") +
           hinted("recorder", " type file slave.pcm \"silence\" format raw file \"/dev/null\"" +
                                  std::string(" infile \"") + sourcePath() + "\"") +
           hinted("flaky", test + " fault xrun after " + std::to_string(faultFrame)) +
           hinted("unplugged", test + " fault gone after " + std::to_string(faultFrame)) +
           hinted("taken", test + " busy true") +
           hinted("speaker", test + " played_to \"" + playedPath() + "\"") +
           hinted("ear", test + " heard_to \"" + heardPath("ear") + "\"") +
           hinted("pausing", test + " pausable true heard_to \"" + heardPath("pausing") + "\"") +
           hinted("sticky", test + " sticky true revents_to \"" + temporaryPath("sticky") + "\"") +
           hinted("lagging", test + " lag 300") +
           hinted("witness", test + " opened_to \"" + temporaryPath("witness") + "\"") +
           hinted("stalling", test + " stall 2205 after " + std::to_string(5 * faultFrame)) +
           hinted("null", " type null") +
           hinted("resampled", " type rate slave { pcm \"silence\" rate 48000 }");
}

template <class Caps, class GetCaps>
UINT deviceNamed(const std::string& pcm, UINT count, GetCaps getCaps) {
    for (UINT id = 0; id < count; ++id) {
        Caps caps{};
        if (getCaps(id, &caps, sizeof caps) == MMSYSERR_NOERROR && pcm == caps.szPname) return id;
    }
    ADD_FAILURE() << "no device " << pcm;
    return count;
}

}  // namespace

std::string temporaryPath(const std::string& name) {
    return folder() + "/" + name;
}

std::vector<wavetest::Notification> collect(wavetest::NotificationWindow& window,
                                            std::size_t count) {
    std::vector<wavetest::Notification> seen;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (seen.size() < count && std::chrono::steady_clock::now() < deadline) {
        for (const auto& notification : window.take()) seen.push_back(notification);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return seen;
}

std::string playedPath() {
    return folder() + "/played.txt";
}

std::string heardPath(const std::string& pcm) {
    return folder() + "/heard-" + pcm + ".raw";
}

std::string tapePath() {
    return folder() + "/tape.raw";
}
std::string sourcePath() {
    return folder() + "/source.raw";
}

void useTestDevices(bool defaultOpens) {
    static const std::array<std::string, 2> paths = [] {
        // The infile must exist for the recorder to open at all.
        writeFile(sourcePath(), {});
        const std::string works = folder() + "/asound.conf";
        const std::string busy = folder() + "/asound-busy-default.conf";
        std::ofstream(works) << configuration(true);
        std::ofstream(busy) << configuration(false);
        return std::array{works, busy};
    }();
    const std::string& wanted = paths[defaultOpens ? 0 : 1];
    const char* current = std::getenv("ALSA_CONFIG_PATH");
    if (current == nullptr || wanted != current) {
        setenv("ALSA_CONFIG_PATH", wanted.c_str(), 1);
        snd_config_update_free_global();  // read again at the next ALSA call
    }
    ASSERT_TRUE(wave::selectDriver("alsa"));
}

UINT inputDevice(const std::string& pcm) {
    return deviceNamed<WAVEINCAPSA>(pcm, waveInGetNumDevs(), [](UINT id, auto* caps, UINT size) {
        return waveInGetDevCapsA(id, caps, size);
    });
}

UINT outputDevice(const std::string& pcm) {
    return deviceNamed<WAVEOUTCAPSA>(pcm, waveOutGetNumDevs(), [](UINT id, auto* caps, UINT size) {
        return waveOutGetDevCapsA(id, caps, size);
    });
}

std::vector<char> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const std::string& path, const std::vector<char>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace sorvan::alsatest
