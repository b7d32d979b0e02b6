// SPDX-License-Identifier: MIT
// The game window object: every piece of game state as a flat member, and
// every routine of the game as a member function. The definitions are
// spread over one file per routine family (see the banners below).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "services.h"

namespace zonbeli {

// A cell code or a drawing code. Stones are their own character (U'歩'),
// an empty cell is U' ', and 0 is both "never assigned" and the drawing code
// of an empty cell; the frame and sparkle codes are small integers that no
// stone character can equal.
using 符号 = char32_t;

// A group label: the founding stone's column times 100 plus its row, so it
// reads as the four digits "ccrr"; 0 stands for "0000", no group yet.
using 組ラベル = int;

class Form1 {
 public:
  Form1(WindowServices& window, SoundLibrary& sound);

  // ---------------------------------------------------------------- constants
  // On is 0 and off is 1. A flag never assigned holds 0, so an unset flag,
  // hit mark or answer reads as on.
  static constexpr int 定数_オン = 0;
  static constexpr int 定数_オフ = 1;

  // The well's columns are 1 to 盤_列数; its rows 2 to 盤_最下行, row 1 the
  // preview.
  static constexpr int 盤_列数 = 11;
  static constexpr int 盤_最下行 = 16;
  static constexpr int マス_幅 = 525;
  static constexpr int マス_高さ = 525;
  static constexpr int 原点_X = 100;
  static constexpr int 原点_Y = -200;
  static constexpr int ラベル_X = 7000;
  static constexpr int ラベル_Y = 700;

  static constexpr 符号 コード_空 = 0;
  static constexpr 符号 描画_空 = 0;
  static constexpr 符号 コード_右枠 = 71;
  static constexpr 符号 コード_左枠 = 72;
  static constexpr 符号 コード_上枠 = 73;
  static constexpr 符号 コード_下枠 = 74;
  static constexpr 符号 コード_PA = 90;
  static constexpr 符号 コード_PA2 = 91;

  static constexpr int 向き_横 = 5;
  static constexpr int 向き_縦 = 6;

  // ------------------------------------------------------------------ colours
  static constexpr int 色_青 = 1;
  static constexpr int 色_緑 = 2;
  static constexpr int 色_紫 = 5;
  static constexpr int 色_灰 = 7;
  static constexpr int 色_水 = 11;
  static constexpr int 色_赤 = 12;
  static constexpr int 色_桃 = 13;
  static constexpr int 色_白 = 15;
  static constexpr int 色_背景 = 色_緑;
  static constexpr std::array<int, 7> 色表 = {色_赤, 色_青, 色_緑, 色_灰, 色_桃, 色_水, 色_紫};
  // The standard sixteen-colour palette that colour numbers index.
  static constexpr std::array<Rgb, 16> 色_パレット = {{
      {0, 0, 0},
      {0, 0, 128},
      {0, 128, 0},
      {0, 128, 128},
      {128, 0, 0},
      {128, 0, 128},
      {128, 128, 0},
      {192, 192, 192},
      {128, 128, 128},
      {0, 0, 255},
      {0, 255, 0},
      {0, 255, 255},
      {255, 0, 0},
      {255, 0, 255},
      {255, 255, 0},
      {255, 255, 255},
  }};

  // -------------------------------------------------------------------- board
  // Indexed [column][row]: columns 0..11, rows 0..16. Column 0 and row 0 are
  // never written and stay 0.
  std::array<std::array<符号, 17>, 12> 盤{};           // the stones; row 1 holds the preview
  std::array<std::array<int, 17>, 12> 盤_当たり{};     // on for a stone to erase
  std::array<std::array<組ラベル, 17>, 12> 効筋_組{};  // each stone's group label
  std::array<std::array<int, 17>, 12> 効筋_数{};       // a group's size, at its root
  std::array<int, 12> 列_当たり{};                     // on for a column holding a stone to erase
  std::array<int, 12> 列_段落ち{};                     // on for a column whose stones must drop

  // ------------------------------------------------------------------- trios
  // The falling trio, which is not in the board while it falls. Elements
  // 1..3, stone 1 the left or top one; element 0 is unused.
  std::array<int, 4> 落下石_列{};   // each stone's column
  std::array<int, 4> 落下石_行{};   // each stone's row
  std::array<符号, 4> 落下石_駒{};  // each stone's code
  int 落下石_向き = 0;              // 向き_横 lying or 向き_縦 standing
  std::u32string 次石;              // the previewed next trio, three codes

  // ---------------------------------------------------------------- progress
  long 得点 = 0;       // this game's score
  long 最高得点 = 0;   // the best score since the program started
  int レベル = 0;      // 6 at the start, falling to 1
  int 出現_回数 = 0;   // trios brought in this game, the falling one included
  int 爆_予約 = 0;     // on when a bomb trio is due as the next preview
  int 星_予約 = 0;     // on when a star trio is due
  int 待機フラグ = 0;  // on while no game runs
  int 終了フラグ = 0;  // on once a game has ended: the ticks blink GAME OVER

  // ------------------------------------------------------------------ timing
  int 落下_カウンタ = 0;  // ticks since the trio last fell a row
  int 落下_間隔 = 0;      // ticks between falls now: 1 while ↓ is held
  int 落下_基本間隔 = 0;  // ticks between falls at this level

  // ------------------------------------------------------------------ sounds
  // Handles from the sound library, 0 for none; 音_一覧 below lists the ten
  // buffers with their files.
  std::int32_t サウンド_本体 = 0;  // the device
  std::int32_t 音_回転 = 0;        // a turn
  std::int32_t 音_禁止 = 0;        // a click with no game running
  std::int32_t 音_移動 = 0;        // a step sideways
  std::int32_t 音_その他 = 0;      // the about box
  std::int32_t 音_爆出現 = 0;      // a bomb trio previewed
  std::int32_t 音_星出現 = 0;      // a star trio previewed
  std::int32_t 音_石消去 = 0;      // a pass of the chain erasing
  std::int32_t 音_石着地 = 0;      // a landing
  std::int32_t 音_面終了 = 0;      // game over
  std::int32_t 音_BGM = 0;         // the looping music

  // ------------------------------------------------- start-up and shutdown
  void Form_Load();
  void OWARI_Click();
  void Form_Unload();
  void 終了処理();

  // --------------------------------------------------------------- main loop
  void Timer1_Timer();
  int ゲーム終了か();

  // ---------------------------------------------------------------- new game
  void KAISI_Click();
  void 初期設定();

  // ------------------------------------------------------------------- spawn
  std::u32string 取得_駒名();
  void 出現_次石();
  void 出現_落下石();

  // ---------------------------------------------------------- falling trio
  int 落下石_移動可能(int dx, int dy);
  void 落下石_移動(int dx, int dy);
  int 落下石_回転可能();
  void 落下石_回転();
  void 落下石_消去();

  // ------------------------------------------------------------------- input
  void Form_KeyDown(int key, int shift);
  void Form_KeyUp(int key, int shift);
  void Form_MouseDown(int button, int shift, float x, float y);
  void 開始催促();

  // ------------------------------------------------------------ attack lines
  void 効筋設定();
  void 効筋設定_追加範囲(int p, int q);
  void 変換_効筋(組ラベル old_label, 組ラベル new_label);

  // -------------------------------------------------------------------- hits
  int 移動チェック(int p, int q, int r, int s, 符号 K);
  int 移動チェック角(int p, int q, int r, int s);
  int 移動チェック飛車(int p, int q, int r, int s);
  void 調査_当駒();

  // ------------------------------------------------------------------- blink
  int 存在チェック_当たり石();
  void 当たり石点滅(int n);

  // ----------------------------------------------------------------- erasure
  void 隣接石消去設定_爆弾();
  void 隣接石消去設定_星();
  void 消去フラグ設定_星(符号 code);
  void 当たり石消去(int& count);
  void 連続消去当たり石();

  // -------------------------------------------------------------------- drop
  void 段落ち();
  int 石一段落ち(int column);
  void 終了_段落ち();
  void 盤フラグ初期化();

  // ----------------------------------------------------------------- drawing
  // The picture a cell code is drawn with; false for a code with none.
  static bool PictureOf(符号 code, Picture& picture);
  void 描画_絵(double column, double row, 符号 code);
  void 描画_一列(int column);
  void 描画_全画面();
  void 描画_四角形(double x, double y, double width, double height, int colour);
  void 描画_文字(double x, double y, std::string_view text, int colour, double size);
  void 描画_数値(double x, double y, int digit);
  void 描画_スコア(double row, long value);
  void 描画_レベル(int level);
  void 待ち時間(double seconds);

  // ------------------------------------------------------------------- sound
  void サウンド_初期化(std::intptr_t window_handle);
  std::int32_t サウンド_読込(const std::string& file_name, std::int32_t flags);
  void サウンド_終了();
  void サウンド_警告(const std::string& message);
  void BGM_Click();

  // --------------------------------------------------------------- about box
  void SONOTA_Click();

  // ------------------------------------------------------------------ helpers
  static 組ラベル ラベル(int column, int row) { return column * 100 + row; }
  static int ラベル_列(組ラベル label) { return label / 100; }
  static int ラベル_行(組ラベル label) { return label % 100; }
  static std::string ラベル文字(組ラベル label);
  static Rgb QBColor(int colour) { return 色_パレット.at(static_cast<std::size_t>(colour & 15)); }

  WindowServices& 窓;
  SoundLibrary& 音;
};

// The ten sounds, in the order start-up loads them: the slot holding the
// buffer, the file, the flags the buffer is made with (3 an effect, 1 the
// looping music), and its turn when shutdown frees them, from 1.
struct 音定義 {
  std::int32_t Form1::*slot;
  std::string_view name;  // the file is name + ".wav"
  std::int32_t flags;
  int freed;
};
inline constexpr std::array<音定義, 10> 音_一覧 = {{
    {&Form1::音_回転, "回転", 3, 3},
    {&Form1::音_禁止, "禁止", 3, 1},
    {&Form1::音_移動, "移動", 3, 2},
    {&Form1::音_その他, "その他", 3, 4},
    {&Form1::音_爆出現, "爆出現", 3, 5},
    {&Form1::音_星出現, "星出現", 3, 6},
    {&Form1::音_石消去, "石消去", 3, 7},
    {&Form1::音_石着地, "石着地", 3, 8},
    {&Form1::音_面終了, "面終了", 3, 9},
    {&Form1::音_BGM, "BGM", 1, 10},
}};

// No sound the game could play comes near this: its own music is 3.4 MB, and the
// longest sound the library takes, ten minutes, needs 230 MB at 192 kHz in 16-bit mono,
// 173 MB in 24-bit stereo at 48 kHz. A larger file is refused before any of it is read,
// so that a damaged or hostile one cannot take the game's memory.
inline constexpr std::uint64_t kLargestSoundFile = 256u << 20;

// Every code that has a picture, with the picture it is drawn with. They
// are tried in this order, which matters only in that 0 (empty, and
// never-assigned cells) comes first.
struct 絵定義 {
  符号 code;
  Picture picture;
};
inline constexpr std::array<絵定義, 19> 絵_一覧 = {{
    {Form1::描画_空, Picture::HAIKEI},
    {U' ', Picture::HAIKEI},
    {U'爆', Picture::BAKUDAN},
    {U'星', Picture::HOSI},
    {U'発', Picture::BAKUHATU},
    {Form1::コード_PA, Picture::PA},
    {Form1::コード_PA2, Picture::PA2},
    {Form1::コード_上枠, Picture::WAKU_UE},
    {Form1::コード_右枠, Picture::WAKU_MIGI},
    {Form1::コード_左枠, Picture::WAKU_HIDARI},
    {Form1::コード_下枠, Picture::WAKU_SITA},
    {U'歩', Picture::HU},
    {U'香', Picture::KYOU},
    {U'桂', Picture::KEI},
    {U'金', Picture::KIN},
    {U'銀', Picture::GIN},
    {U'飛', Picture::HISYA},
    {U'角', Picture::KAKU},
    {U'王', Picture::OH},
}};

// UTF-8 text of one code or of a string of codes, for messages and dumps.
std::string Utf8(char32_t code);
std::string Utf8(std::u32string_view codes);

}  // namespace zonbeli
