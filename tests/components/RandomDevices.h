// The wave devices a random sequence of component calls runs on.
//
// The sequences (RandomSequence.h) only use the public waveform API through
// the components; everything that depends on the driver under it comes
// through this interface, so the same sequences run on the virtual devices
// (RandomSimDevices.h) and on a real driver.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/WaveApi.h"
#include "platform/wave/Driver.h"

namespace randomseq {

class Devices {
  public:
    virtual ~Devices() = default;

    virtual std::string Name() const = 0;
    // Fresh devices for one sequence; the seed may choose among setups.
    virtual void SetUp(std::uint64_t seed) = 0;
    virtual void TearDown() = 0;
    // Lets the devices move frames for about `duration`; notifications are
    // then waiting for the message loop.
    virtual void Advance(std::chrono::milliseconds duration) = 0;
    // Device numbers below these counts exist; the sequences also pick some
    // that do not.
    virtual std::size_t Inputs() const = 0;
    virtual std::size_t Outputs() const = 0;

    // Whether FailNext works.
    virtual bool CanInjectFailures() const { return false; }
    // Makes the next `count` calls of fn (on any device) return `code`
    // without doing anything. False, and nothing changes, while failures of
    // fn injected earlier may still be waiting: they never pile up, so a
    // component that retries a refused call a few times gets through.
    virtual bool FailNext(sorvan::wave::Fn, MMRESULT /*code*/, int /*count*/) { return false; }
    // How many blocks written to this output handle the device accepted;
    // empty where the devices cannot tell.
    virtual std::optional<std::size_t> AcceptedWrites(HWAVEOUT) { return std::nullopt; }
};

}  // namespace randomseq
