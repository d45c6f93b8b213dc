#pragma once

namespace orvane {

// The clock that frames, clicks and cursor samples share: CLOCK_MONOTONIC in
// seconds. Any thread.
double hostTime();

} // namespace orvane
