#include "fallback/notify_timer.h"

namespace velmora {

void NotifyTimer::tick() {
    (void)board_;
}

}  // namespace velmora
