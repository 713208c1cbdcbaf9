#include "platform/wave/Failure.h"

#include <utility>

#include "platform/wave/FailureScope.h"

namespace sorvan::wave {

namespace {

struct Reasons {
    std::string pending;  // given while the current call is served
    std::string last;     // of the most recent failed call
};

thread_local Reasons reasons;

}  // namespace

void explainFailure(std::string reason) {
    reasons.pending = std::move(reason);
}

std::string lastFailureReason() {
    return reasons.last;
}

FailureScope::FailureScope() {
    reasons.pending.clear();
}

bool FailureScope::explained() const {
    return !reasons.pending.empty();
}

MMRESULT FailureScope::end(MMRESULT result) {
    if (result != MMSYSERR_NOERROR) reasons.last = std::move(reasons.pending);
    reasons.pending.clear();
    return result;
}

}  // namespace sorvan::wave
