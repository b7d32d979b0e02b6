// SPDX-License-Identifier: MIT
// Opening the sound device, loading the ten sounds, the music switch.
#include <cstdio>
#include <new>
#include <vector>

#include "form1.h"

namespace zonbeli {

void Form1::サウンド_初期化(std::intptr_t window_handle) {
  サウンド_本体 = 音.dsInitialize(window_handle);
  if (サウンド_本体 == 0) サウンド_警告("Direct Soundインターフェースが作成できません。");
}

// A sound dropped into the current directory wins over the game's own copy;
// a sound found nowhere is simply silent.
std::int32_t Form1::サウンド_読込(const std::string& file_name, std::int32_t flags) {
  if (サウンド_本体 == 0) return 0;
  std::string path = file_name;
  if (!窓.FileExists(path)) {
    const std::string folder = 窓.SoundFolder();
    if (folder.empty()) return 0;
    path = folder + "/" + file_name;
    if (!窓.FileExists(path)) return 0;
  }
  if (窓.FileSize(path) > kLargestSoundFile) {
    サウンド_警告("サウンドファイル「" + file_name + "」は大きすぎます（256 MiB まで）。");
    return 0;
  }
  FileBytes bytes;
  std::string error;
  try {
    if (!窓.ReadWholeFile(path, bytes, error)) {
      サウンド_警告("サウンドファイル「" + file_name + "」を読み込めません: " + error);
      return 0;
    }
  } catch (const std::bad_alloc& failure) {
    サウンド_警告("サウンドファイル「" + file_name + "」を読み込めません: " + failure.what());
    return 0;
  }
  if (bytes.empty()) {
    サウンド_警告("サウンドファイル「" + file_name + "」が空です。");
    return 0;
  }
  const std::int32_t buffer = 音.dsCreateDSB(サウンド_本体, bytes.data(), bytes.size(), flags);
  // The player hears silence, as with a missing file; whoever installed the file learns why.
  if (buffer == 0) {
    const std::string why = 音.LoadError();
    if (!why.empty())
      std::fprintf(stderr, "zonbeli: %s is not played: %s\n", path.c_str(), why.c_str());
  }
  return buffer;
}

void Form1::サウンド_終了() {
  if (サウンド_本体 != 0) 音.dsTerminate(サウンド_本体);
}

void Form1::サウンド_警告(const std::string& message) {
  窓.MessageBox(message, "Zonbeli.dll", MessageIcon::Exclamation);
}

// The check mark is the only record of whether the music is on.
void Form1::BGM_Click() {
  if (窓.BgmChecked()) {
    窓.SetBgmChecked(false);
    音.dsStop(音_BGM);
  } else {
    窓.SetBgmChecked(true);
    音.dsPlayLooping(音_BGM);
  }
}

}  // namespace zonbeli
