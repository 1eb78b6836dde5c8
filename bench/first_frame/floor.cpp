// SPDX-License-Identifier: MIT
// The floor of the board's start-up: the least a Qt Widgets program does to show a frameless
// full-screen window and paint it (all white, so any region of the screen lights up). The time
// from its exec to its first frame is what no board built on Qt can beat. Ends on SIGTERM.
#include <QApplication>
#include <QPainter>
#include <QScreen>
#include <QWidget>

namespace {

class WhiteWindow final : public QWidget {
  protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), Qt::white); }
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    WhiteWindow window;
    window.setWindowFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    window.setGeometry(QGuiApplication::primaryScreen()->geometry());
    window.showFullScreen();
    return app.exec();
}
