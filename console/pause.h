// The short pause that paces every step of the service control: the window
// keeps repainting and handling events while it waits.
#pragma once

#include <cstdint>

namespace vexa::console {

// Waits `milliseconds` / 20 slices of 20 ms (remainder dropped), handling the
// window's events during each slice and all pending events after it. Fewer
// than 20 ms do not wait at all.
void Pause(std::int16_t milliseconds);

}  // namespace vexa::console
