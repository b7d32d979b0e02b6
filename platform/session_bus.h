// SPDX-License-Identifier: MIT
// The desktop's session bus, which the game itself never needs.
#pragma once

namespace zonbeli {

// Where no session bus runs, the toolkit (asking for a global menu bar) and
// the sound library each start a bus of their own through dbus-launch on
// the display, which holds the start for seconds, or for good when the
// launcher cannot finish. With no bus to be found, they are told there is
// none. Call first thing in main, before any thread starts.
void KeepFromStartingASessionBus();

}  // namespace zonbeli
