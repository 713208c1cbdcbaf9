// The two kinds of waveform device, as drivers, the core and programs name them.
#pragma once

namespace sorvan::wave {

enum class Direction { input, output };

}  // namespace sorvan::wave
