#include "search/PumpingStopCheck.h"

namespace querna {

bool PumpingStopCheck::StopNow() {
    const int64_t now = clock_();
    if (!pumped_ || now - lastPump_ >= kPumpIntervalMs) {
        pumped_ = true;
        lastPump_ = now;
        window_.ProcessMessages();
    }
    return state_.StopRequested != kFalse;
}

}  // namespace querna
