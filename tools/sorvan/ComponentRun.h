// What `record` and `play` do alike with their component on the main
// thread's message loop: tell why it did not open, run the loop until the
// work is done, then close it and let its close notification arrive.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "components/StreamGaps.h"
#include "tools/sorvan/Devices.h"
#include "tools/sorvan/MessagePump.h"
#include "tools/sorvan/ProgressLine.h"

// How long the close notification, which completes a recording file, may take.
inline constexpr std::chrono::milliseconds CloseWait{3000};

// Raises "cannot <doing>: <device label> <why it did not open>".
[[noreturn]] void RaiseOpenFailure(const std::string& doing, Direction direction, TSVDev device,
                                   const PcmFormat& format);

// Runs the loop until `finished`, calling `tick` (the progress line's
// redraw) about ten times a second, and clears the progress line after.
// Whether the user stopped the work.
bool RunUntilDone(MessagePump& pump, const std::function<bool()>& finished,
                  const std::function<void()>& tick, ProgressLine& progress);

// Closes the component, waits at most CloseWait for `closed` (set by its
// OnClose) and destroys it, which completes whatever the close notification
// did not. Returns the gaps in the component's sound.
template <class Component>
TSVGaps CloseAndDestroy(std::unique_ptr<Component>& component, MessagePump& pump,
                        const bool& closed) {
    component->close();
    const TSVGaps gaps = component->Gaps();
    pump.RunUntil([&] { return closed; }, {}, CloseWait);
    component.reset();
    return gaps;
}
