/* SPDX-License-Identifier: MIT */
/* The size of the window's drawing surface in pixels, below the menu bar.
 * Plain C defines: the window, the bench's X probe and the real-window
 * scripts (tests/e2e/lib.sh) all read it here. */
#pragma once

#define ZONBELI_SURFACE_WIDTH 678
#define ZONBELI_SURFACE_HEIGHT 606
