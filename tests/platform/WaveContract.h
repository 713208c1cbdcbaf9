// The contract every waveform audio driver keeps, as tests parameterised by
// the devices they run on. A driver's tests instantiate them with a target:
//
//   INSTANTIATE_TEST_SUITE_P(Alsa, WaveContract, ::testing::Values(alsaTarget()),
//                            [](const auto& info) { return info.param.name; });
//
// The target's device 0 of each direction must take `format`; time is made
// to pass through `passTime` (a manual clock advanced, or real time slept),
// so the tests hold for virtual and real devices alike.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "WaveTestSupport.h"

namespace sorvan::wavetest {

struct ContractTarget {
    std::string name;
    std::function<void()> setUp;
    std::function<void()> tearDown;
    std::function<void(std::chrono::milliseconds)> passTime;
    WAVEFORMATEX format{};
};

// Names the target in test failures.
inline void PrintTo(const ContractTarget& target, std::ostream* out) {
    *out << target.name;
}

class WaveContract : public ::testing::TestWithParam<ContractTarget> {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Opens device 0 (or `id`) with the target's format, notifying `window`.
    HWAVEIN openIn(UINT id = 0);
    HWAVEOUT openOut(UINT id = 0);
    Buffer& preparedIn(HWAVEIN handle, std::size_t size);
    Buffer& preparedOut(HWAVEOUT handle, std::size_t size, char fill = 0);

    void passTime(std::chrono::milliseconds duration) { GetParam().passTime(duration); }
    // Pumps and lets time pass until `done` holds; false after `limit`.
    bool waitUntil(const std::function<bool()>& done,
                   std::chrono::milliseconds limit = std::chrono::seconds(3));
    // Collects notifications until `count` have arrived (or the limit passed).
    std::vector<Notification> collect(std::size_t count);

    const WAVEFORMATEX& format() const { return GetParam().format; }

    NotificationWindow window;
    Buffers buffers;

  private:
    std::vector<HWAVEIN> inputs_;
    std::vector<HWAVEOUT> outputs_;
};

}  // namespace sorvan::wavetest
