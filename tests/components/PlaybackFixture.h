// A playback component on virtual output devices with a manual clock, and the
// means to watch it: its events, the wave calls it made, the bytes played.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "components/SorvanOut.h"
#include "framework/Forms.h"
#include "platform/sim/Sim.h"

namespace sim = sorvan::sim;
using sim::Fn;
using namespace std::chrono_literals;

using Bytes = std::vector<std::byte>;

// size bytes counting up from first, so that blocks can be told apart.
inline Bytes Block(std::size_t size, int first) {
    Bytes block(size);
    for (std::size_t i = 0; i < size; ++i) block[i] = static_cast<std::byte>(first + i);
    return block;
}

inline Bytes Joined(const std::vector<Bytes>& blocks) {
    Bytes all;
    for (const Bytes& b : blocks) all.insert(all.end(), b.begin(), b.end());
    return all;
}

class PlaybackTest : public ::testing::Test {
  protected:
    // Device 0 (the mapper's): stereo with volume controls.
    static sim::Setup Devices() { return {.outputs = {{.name = "Speaker"}}}; }

    explicit PlaybackTest(sim::Setup devices = Devices()) : session(std::move(devices)) {}

    void SetUp() override {
        Application->OnException = [](TObject*, Exception& e) { ADD_FAILURE() << e.Message(); };
        out->OnOpen = [this](TObject* sender) {
            EXPECT_EQ(sender, out.get());
            events.push_back("open");
        };
        // Each done records whether blocks were still queued inside the handler.
        out->OnDone = [this](TObject* sender) {
            EXPECT_EQ(sender, out.get());
            events.push_back(out->IsPlaying() ? "done+" : "done-");
        };
        out->OnClose = [this](TObject* sender) {
            EXPECT_EQ(sender, out.get());
            events.push_back("close");
        };
    }
    void TearDown() override { Application->OnException = nullptr; }

    static void Pump() { Application->ProcessMessages(); }
    // Lets the device play for a while (8000 bytes a second at the defaults),
    // then handles what it posted.
    static void Play(std::chrono::nanoseconds duration) {
        sim::advance(duration);
        Pump();
    }

    void Open() {
        ASSERT_TRUE(out->open());
        Pump();
        events.clear();
    }
    void Queue(const Bytes& block) {
        out->playback(block.data(), static_cast<std::int32_t>(block.size()));
    }

    static std::vector<const WAVEHDR*> Headers(Fn fn) {
        std::vector<const WAVEHDR*> headers;
        for (const auto& c : sim::calls(fn)) headers.push_back(c.call.header);
        return headers;
    }
    static std::vector<MMRESULT> Results(Fn fn) {
        std::vector<MMRESULT> results;
        for (const auto& c : sim::calls(fn)) results.push_back(c.result);
        return results;
    }
    static std::vector<std::string> Names() {
        std::vector<std::string> names;
        for (const auto& c : sim::log()) names.emplace_back(sorvan::wave::name(c.call.fn));
        return names;
    }

    sim::Session session;
    std::unique_ptr<TSorvanOut> out = std::make_unique<TSorvanOut>(nullptr);
    std::vector<std::string> events;
};
