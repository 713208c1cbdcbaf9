#include "tools/sorvan/ComponentRun.h"

#include "tools/sorvan/CliError.h"
#include "tools/sorvan/StopSignal.h"

void RaiseOpenFailure(const std::string& doing, Direction direction, TSVDev device,
                      const PcmFormat& format) {
    throw CliError("cannot " + doing + ": " + DeviceLabel(direction, device) + " " +
                   ExplainOpenFailure(direction, device, format));
}

bool RunUntilDone(MessagePump& pump, const std::function<bool()>& finished,
                  const std::function<void()>& tick, ProgressLine& progress) {
    pump.RunUntil([&] { return StopRequested() || finished(); }, tick);
    progress.Clear();
    return StopRequested();
}
