// Asked by long work that runs inside one step of a search, such as reading
// one large document, whether the user has asked the search to stop. The
// window answers after pumping its messages (so that the Stop button can be
// clicked at all); the console companion answers from its Ctrl+C flag.
#pragma once

namespace querna {

class StopCheck {
  public:
    virtual ~StopCheck() = default;
    // True once the work is to be given up. Asked between chunks of the
    // work, never per byte; the window may run any of its handlers inside.
    virtual bool StopNow() = 0;
};

}  // namespace querna
