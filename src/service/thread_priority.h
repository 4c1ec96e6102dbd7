// The service's threads give way to the show's: a frame must never wait
// for a web page.
#pragma once

namespace lumora::service {

// Lowers the calling thread's scheduling priority (a nice of 10), so that
// the engine's and the light outputs' threads run first when the
// processors are busy.
void YieldToTheShow();

}  // namespace lumora::service
