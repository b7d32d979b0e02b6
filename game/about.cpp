// SPDX-License-Identifier: MIT
// The about box.
#include "form1.h"

namespace zonbeli {

void Form1::SONOTA_Click() {
  音.dsPlay(音_その他);
  窓.MessageBox(
      "Zonbeli Version 0.9\n"
      "\n"
      "Home page\n"
      "https://zonbeli.example.org/\n"
      "\n"
      "e-mail\n"
      "zonbeli@example.org",
      "Zonbeli  2026/12/07", MessageIcon::Information);
}

}  // namespace zonbeli
