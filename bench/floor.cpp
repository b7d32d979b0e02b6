// SPDX-License-Identifier: MIT
// zonbeli_floor: the least a Qt Widgets program with Zonbeli's window needs
// to show its first screen: a 678 × 606 surface under a menu bar with the
// game's captions, and one line of Japanese text in IPA P Mincho. bench/run
// times it beside the game as the toolkit's floor on the same machine.
#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QPainter>
#include <QWidget>

namespace {

class Surface : public QWidget {
 public:
  Surface() { setFixedSize(678, 606); }

 protected:
  void paintEvent(QPaintEvent* /*event*/) override {
    QPainter painter(this);
    painter.setFont(QFont(QStringLiteral("IPAPMincho"), 20));
    painter.drawText(rect(), Qt::AlignCenter, QStringLiteral("ゲームを開始してください"));
  }
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QMainWindow window;
  window.setWindowTitle(QStringLiteral("floor"));
  QMenuBar* bar = window.menuBar();
  bar->addMenu(QStringLiteral("ゲーム"))->addAction(QStringLiteral("開始"));
  bar->addMenu(QStringLiteral("ｵﾌﾟｼｮﾝ"))->addAction(QStringLiteral("BGM"));
  bar->addAction(QStringLiteral("その他"));
  window.setCentralWidget(new Surface);
  window.show();
  return QApplication::exec();
}
