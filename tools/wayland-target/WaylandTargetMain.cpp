// orvane-wayland-target: the window the Wayland tests and benchmarks record. A
// Qt client on Qt's wayland plugin: a solid orange 600 x 400 window with a blue
// "link" in its lower right corner whose cursor is the pointing hand, and a
// small square that moves so the compositor keeps sending frames. With
// ORVANE_TARGET_FULLSCREEN=1 it covers the screen and every frame changes all
// over, as a busy screen does. Prints READY once shown, and each press.
#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QWidget>

#include <cstdio>

namespace {

// The link: a widget of its own so that the compositor sees its cursor.
class Link : public QWidget {
public:
    explicit Link(QWidget* parent) : QWidget(parent) {
        setCursor(Qt::PointingHandCursor);
        setGeometry(400, 300, 160, 60);
    }

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), QColor(40, 80, 230)); }
};

class Target : public QWidget {
public:
    explicit Target(bool busy) : busy_(busy) {
        resize(600, 400);
        setWindowTitle(QStringLiteral("Orvane Wayland target"));
        setCursor(Qt::ArrowCursor);
        new Link(this);
        auto* timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [this] {
            ++frame_;
            if (busy_) {
                update();
            } else {
                update(QRect(0, 0, 600, 60));
            }
        });
        timer->start(busy_ ? 16 : 33);
    }

protected:
    void paintEvent(QPaintEvent* e) override {
        QPainter p(this);
        p.fillRect(e->rect(), QColor(230, 80, 40));
        if (busy_) {
            // Stripes that move every frame: nothing stays the same.
            for (int x = -(frame_ * 7) % 64; x < width(); x += 64) {
                p.fillRect(x, 0, 32, height(), QColor((x * 3 + frame_) % 256, 120, 200));
            }
        }
        p.fillRect((frame_ * 5) % 560, 10, 40, 40, QColor(250, 220, 40));
    }
    void mousePressEvent(QMouseEvent* e) override {
        std::printf("PRESS button=%d local=%.0f,%.0f\n", static_cast<int>(e->button()),
                    e->position().x(), e->position().y());
        std::fflush(stdout);
    }
    void showEvent(QShowEvent*) override {
        QTimer::singleShot(200, this, [] {
            std::printf("READY %s\n", qPrintable(QGuiApplication::platformName()));
            std::fflush(stdout);
        });
    }

private:
    bool busy_;
    int frame_ = 0;
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const bool fullScreen = qEnvironmentVariableIntValue("ORVANE_TARGET_FULLSCREEN") == 1;
    Target target(fullScreen);
    if (fullScreen) {
        target.showFullScreen();
    } else {
        target.show();
    }
    return QApplication::exec();
}
