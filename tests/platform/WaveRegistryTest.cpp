// Making a driver can take long (the alsa driver opens every PCM); other
// threads' calls meanwhile go on with the driver in place.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <semaphore>

#include "platform/sim/Sim.h"
#include "platform/sim/SimDriver.h"
#include "platform/wave/Driver.h"

namespace sorvan::wavetest {
namespace {

using namespace std::chrono_literals;

TEST(DriverRegistry, MakingASlowDriverHoldsUpNoOtherCall) {
    sim::Session session({.outputs = {{.name = "Out"}}});
    static std::binary_semaphore released{0};
    static std::binary_semaphore making{0};
    static std::atomic<bool> slow = true;
    // Registered for the whole process: only this test finds it slow, the
    // rest (such as "auto", which tries every driver) find no driver there.
    ASSERT_TRUE(wave::registerDriver("slow to make", []() -> std::shared_ptr<wave::Driver> {
        if (!slow) return nullptr;
        making.release();
        released.acquire();
        return sim::SimDriver::instance();
    }));

    auto selecting =
        std::async(std::launch::async, [] { return wave::selectDriver("slow to make"); });
    making.acquire();
    auto others = std::async(std::launch::async, [] {
        const UINT count = waveOutGetNumDevs();
        wave::driverNames();
        return count;
    });
    const bool othersWaited = others.wait_for(2s) == std::future_status::timeout;
    released.release();
    EXPECT_FALSE(othersWaited);
    EXPECT_EQ(others.get(), 1u) << "the driver in place answers";
    EXPECT_TRUE(selecting.get());
    slow = false;
}

}  // namespace
}  // namespace sorvan::wavetest
