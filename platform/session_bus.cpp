// SPDX-License-Identifier: MIT
#include "session_bus.h"

#include <sys/stat.h>

#include <cstdlib>
#include <string>

namespace zonbeli {

void KeepFromStartingASessionBus() {
  const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  if (address != nullptr && *address != '\0') return;
  // Where a user session manager runs the bus, it is found here without any address.
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
      runtime != nullptr && *runtime != '\0') {
    struct stat bus {};
    if (stat((std::string(runtime) + "/bus").c_str(), &bus) == 0 && S_ISSOCK(bus.st_mode)) return;
  }
  // An address that names no bus: every library gives up on it at once.
  setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
}

}  // namespace zonbeli
