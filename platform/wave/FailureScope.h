// The core's side of Failure.h: one scope per API call.
#pragma once

#include "platform/WaveApi.h"

namespace sorvan::wave {

class FailureScope {
  public:
    // The call starts with no reason.
    FailureScope();
    // Whether a reason was given so far.
    bool explained() const;
    // A failed call keeps the reason given; returns `result`.
    MMRESULT end(MMRESULT result);
};

}  // namespace sorvan::wave
