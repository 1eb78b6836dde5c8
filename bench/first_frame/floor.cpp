// SPDX-License-Identifier: MIT
// The floor of the board's start-up: the least a Qt Widgets program does to show a frameless
// full-screen window and paint it (all white, so any region of the screen lights up). The time
// from its exec to its first frame is what no board built on Qt can beat. With "--labels" the
// window also holds a few lines of text, as the board does: fonts found and loaded before the
// first frame. Ends on SIGTERM.
#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>
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
    if (app.arguments().contains(QStringLiteral("--labels"))) {
        auto* lines = new QVBoxLayout(&window);
        for (const char* text : {"Currently Playing:", "Artist", "Album", "Title", "0:00"}) {
            auto* label = new QLabel(QString::fromUtf8(text), &window);
            label->setFont(QFont(QStringLiteral("Arial"), 20, QFont::Bold));
            lines->addWidget(label);
        }
    }
    window.showFullScreen();
    return app.exec();
}
