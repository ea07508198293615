// The window's answer to "stop now?" while one file is being read: it pumps
// the window's messages, so that the Stop button can be clicked in the middle
// of a large document, and answers with the search's stop flag. Pumping costs
// more than reading a chunk, so it is done at most once per interval of the
// clock; in between the flag alone answers.
#pragma once

#include <cstdint>
#include <functional>
#include <utility>

#include "platform/StopCheck.h"
#include "search/SearchState.h"
#include "search/SearchWindow.h"

namespace querna {

class PumpingStopCheck final : public StopCheck {
  public:
    // Milliseconds on a clock that never goes back.
    using Clock = std::function<int64_t()>;
    static constexpr int64_t kPumpIntervalMs = 50;

    // `state` and `window` must outlive the check.
    PumpingStopCheck(SearchState& state, SearchWindow& window, Clock clock)
        : state_(state), window_(window), clock_(std::move(clock)) {}

    bool StopNow() override;

  private:
    SearchState& state_;
    SearchWindow& window_;
    Clock clock_;
    bool pumped_ = false;
    int64_t lastPump_ = 0;
};

}  // namespace querna
