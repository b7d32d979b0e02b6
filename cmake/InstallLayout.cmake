# SPDX-License-Identifier: MIT
# Where the installed game finds its private sound library and its sounds.
# Both are reached from the program's own folder by paths worked out here,
# so an installed tree can be staged with DESTDIR and moved anywhere, and a
# distribution may put the program and the data where its layout wants
# them (for instance -DCMAKE_INSTALL_BINDIR=games
# -DCMAKE_INSTALL_DATADIR=share/games).
set(ZONBELI_INSTALL_SOUNDDIR ${CMAKE_INSTALL_DATADIR}/zonbeli/sounds)
set(ZONBELI_INSTALL_PRIVATE_LIBDIR ${CMAKE_INSTALL_LIBDIR}/zonbeli)

foreach(dir BINDIR SOUNDDIR PRIVATE_LIBDIR)
  if(dir STREQUAL BINDIR)
    set(path ${CMAKE_INSTALL_BINDIR})
  else()
    set(path ${ZONBELI_INSTALL_${dir}})
  endif()
  if(IS_ABSOLUTE "${path}")
    set(zonbeli_full_${dir} "${path}")
  else()
    set(zonbeli_full_${dir} "${CMAKE_INSTALL_PREFIX}/${path}")
  endif()
endforeach()

file(RELATIVE_PATH ZONBELI_SOUNDS_FROM_BIN "${zonbeli_full_BINDIR}" "${zonbeli_full_SOUNDDIR}")
file(RELATIVE_PATH zonbeli_libs_from_bin "${zonbeli_full_BINDIR}" "${zonbeli_full_PRIVATE_LIBDIR}")
set(ZONBELI_EXECUTABLE_RPATH "$ORIGIN/${zonbeli_libs_from_bin}")
