#include "tools/sorvan/DeviceWatcher.h"

#include <chrono>
#include <cstdio>

#include "components/SorvanOut.h"
#include "tools/sorvan/MessagePump.h"
#include "tools/sorvan/StopSignal.h"

void WatchDevices(const std::function<void()>& list) {
    InstallStopHandler();
    // Told as any application is: through a component's event. It is never
    // opened, so it holds no device.
    TSorvanOut watcher(nullptr);
    bool changed = false;
    watcher.OnDeviceChange = [&](TObject*) { changed = true; };
    list();
    std::fflush(stdout);
    // A signal ends the pump's wait at once; the tick only bounds the rare
    // stop that lands between the check and the wait.
    MessagePump pump(std::chrono::seconds(1));
    for (;;) {
        pump.RunUntil([&] { return changed || StopRequested(); });
        if (StopRequested()) return;
        changed = false;
        std::printf("\n");
        list();
        std::fflush(stdout);
    }
}
