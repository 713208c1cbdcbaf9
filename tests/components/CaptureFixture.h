// A capture component on virtual input devices with a manual clock, and the
// means to watch it: its events, the wave calls it made, the message loop.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "components/SorvanIn.h"
#include "framework/Forms.h"
#include "platform/sim/Sim.h"

namespace sim = sorvan::sim;
using sim::Fn;
using namespace std::chrono_literals;

class CaptureTest : public ::testing::Test {
  protected:
    // Device 0: mono, device 1: stereo; both play a byte ramp. Mapper: device 0.
    static sim::Setup Devices() {
        return {.inputs = {{.name = "Mono", .channels = 1, .signal = sim::Signal::ramp()},
                           {.name = "Stereo", .channels = 2, .signal = sim::Signal::ramp()}}};
    }

    void SetUp() override {
        Application->OnException = [this](TObject*, Exception&) { ++exceptions; };
        in->OnOpen = [this](TObject* sender) {
            EXPECT_EQ(sender, in.get());
            ++opens;
        };
        in->OnData = [this](TObject* sender, char* data, std::int32_t size) {
            EXPECT_EQ(sender, in.get());
            delivered.emplace_back(data, data + size);
        };
        in->OnClose = [this](TObject* sender) {
            EXPECT_EQ(sender, in.get());
            ++closes;
        };
    }
    void TearDown() override { Application->OnException = nullptr; }

    static void Pump() { Application->ProcessMessages(); }
    // Lets the device record for a while, then handles what it posted.
    static void Record(std::chrono::nanoseconds duration) {
        sim::advance(duration);
        Pump();
    }

    UINT_PTR Handle() const { return reinterpret_cast<UINT_PTR>(in->DeviceID()); }

    // The names of the logged calls, in order, optionally only those on one handle.
    static std::vector<std::string> Called(const std::vector<sim::LoggedCall>& calls) {
        std::vector<std::string> names;
        for (const auto& c : calls) names.emplace_back(sorvan::wave::name(c.call.fn));
        return names;
    }
    static std::vector<sim::LoggedCall> CallsOn(UINT_PTR handle) {
        std::vector<sim::LoggedCall> on;
        for (const auto& c : sim::log()) {
            if (c.call.handle == handle) on.push_back(c);
        }
        return on;
    }

    std::size_t DeliveredBytes() const {
        std::size_t total = 0;
        for (const auto& d : delivered) total += d.size();
        return total;
    }

    sim::Session session{Devices()};
    std::unique_ptr<TSorvanIn> in = std::make_unique<TSorvanIn>(nullptr);
    int opens = 0;
    int closes = 0;
    int exceptions = 0;
    std::vector<std::vector<char>> delivered;
};
