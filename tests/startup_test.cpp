// SPDX-License-Identifier: MIT
// Opening the window and leaving it: the sounds loaded and freed in their
// order, warnings where loading fails, the music switch.
#include <gtest/gtest.h>

#include "fake_window.h"
#include "form1.h"

namespace zonbeli {
namespace {

class Startup : public testing::Test {
 protected:
  FakeWindow window;
  RecordingSound sound;
  Form1 form{window, sound};

  // Every sound in the current directory, each a different length so the
  // create calls tell them apart.
  void PutAllSounds() {
    std::size_t length = 10;
    for (const 音定義& entry : 音_一覧)
      window.files[std::string(entry.name) + ".wav"] = std::vector<std::uint8_t>(length++, 1);
  }
  std::vector<std::string> CallsStartingWith(const std::string& prefix) {
    std::vector<std::string> out;
    for (const auto& call : sound.calls) {
      if (call.rfind(prefix, 0) == 0) out.push_back(call);
    }
    return out;
  }
};

TEST_F(Startup, OpensTheDeviceFirstAndLoadsTenSoundsInOrder) {
  PutAllSounds();
  form.Form_Load();
  ASSERT_GE(sound.calls.size(), 11U);
  EXPECT_EQ(sound.calls[0], "dsInitialize 42");
  for (std::size_t i = 0; i < 9; ++i) {
    EXPECT_EQ(sound.calls[i + 1], "dsCreateDSB 7 " + std::to_string(10 + i) + " 3") << i;
  }
  EXPECT_EQ(sound.calls[10], "dsCreateDSB 7 19 1");
  EXPECT_TRUE(window.messages.empty());
}

TEST_F(Startup, CurrentDirectoryWinsOverTheSoundFolder) {
  window.sound_folder = "/usr/share/zonbeli/sounds";
  window.files["/usr/share/zonbeli/sounds/回転.wav"] = std::vector<std::uint8_t>(100, 1);
  window.files["/usr/share/zonbeli/sounds/禁止.wav"] = std::vector<std::uint8_t>(200, 1);
  window.files["回転.wav"] = std::vector<std::uint8_t>(5, 1);
  form.Form_Load();
  EXPECT_EQ(CallsStartingWith("dsCreateDSB"),
            (std::vector<std::string>{"dsCreateDSB 7 5 3", "dsCreateDSB 7 200 3"}));
  EXPECT_EQ(form.音_移動, 0);
}

// A missing sound stays silent without a word; an empty or unreadable one
// warns once, with the reason the system gave.
TEST_F(Startup, EmptyOrUnreadableFilesWarnOncePerFileAndMissingOnesNot) {
  window.files["石消去.wav"] = {};
  window.unreadable["BGM.wav"] = "Permission denied";
  form.Form_Load();
  EXPECT_TRUE(CallsStartingWith("dsCreateDSB").empty());
  ASSERT_EQ(window.messages.size(), 2U);
  EXPECT_EQ(window.messages[0].substr(0, 12), "Zonbeli.dll|");
  EXPECT_NE(window.messages[0].find("石消去.wav"), std::string::npos);
  EXPECT_NE(window.messages[1].find("Permission denied"), std::string::npos);
  EXPECT_EQ(form.音_石消去, 0);
  EXPECT_EQ(form.音_BGM, 0);
  EXPECT_EQ(form.音_石着地, 0);
}

TEST_F(Startup, NoDeviceWarnsOnceAndLoadsNothing) {
  sound.device = 0;
  PutAllSounds();
  form.Form_Load();
  ASSERT_EQ(window.messages.size(), 1U);
  EXPECT_EQ(window.messages[0], "Zonbeli.dll|Direct Soundインターフェースが作成できません。");
  EXPECT_TRUE(CallsStartingWith("dsCreateDSB").empty());
  EXPECT_THROW(form.OWARI_Click(), ProgramEnded);
  // Ten frees of handle 0, and no device to close.
  EXPECT_EQ(CallsStartingWith("dsFree 0").size(), 10U);
  EXPECT_TRUE(CallsStartingWith("dsTerminate").empty());
}

// 終了 and closing the window both end the program the same way.
TEST_F(Startup, QuittingFreesTheBuffersInOrderThenClosesTheDevice) {
  PutAllSounds();
  form.Form_Load();
  for (void (Form1::*quit)() : {&Form1::OWARI_Click, &Form1::Form_Unload}) {
    sound.calls.clear();
    try {
      (form.*quit)();
      ADD_FAILURE() << "the program did not end";
    } catch (const ProgramEnded& ended) {
      EXPECT_EQ(ended.status, 0);
    }
    EXPECT_EQ(sound.calls, (std::vector<std::string>{"dsFree 2", "dsFree 3", "dsFree 1", "dsFree 4",
                                                     "dsFree 5", "dsFree 6", "dsFree 7", "dsFree 8",
                                                     "dsFree 9", "dsFree 10", "dsTerminate 7"}));
  }
}

TEST_F(Startup, MusicSwitchFollowsItsCheckMark) {
  PutAllSounds();
  window.bgm_checked = true;
  form.Form_Load();
  EXPECT_FALSE(window.bgm_checked);
  sound.calls.clear();
  form.BGM_Click();
  EXPECT_TRUE(window.bgm_checked);
  form.BGM_Click();
  EXPECT_FALSE(window.bgm_checked);
  EXPECT_EQ(sound.calls, (std::vector<std::string>{"dsPlayLooping 10", "dsStop 10"}));
}

}  // namespace
}  // namespace zonbeli
