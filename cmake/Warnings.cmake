# SPDX-License-Identifier: MIT
add_library(zonbeli_warnings INTERFACE)
target_compile_options(zonbeli_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wnormalized=nfc
  $<$<BOOL:${ZONBELI_WERROR}>:-Werror>)
