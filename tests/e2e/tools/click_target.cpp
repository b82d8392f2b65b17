// A plain native window for the whole-program tests: white, maximised, titled "Click
// Target", with the app id given as its first argument. It prints each button
// press and each time it gains or loses the keyboard focus, one line each,
// flushed, so a test can tell which clicks reached it and who took the keyboard.
// F11 turns full screen on and off, as in most applications.
#include <QApplication>
#include <QMouseEvent>
#include <QWidget>

#include <cstdio>

namespace {

class Target : public QWidget {
protected:
    void mousePressEvent(QMouseEvent* event) override {
        const QPoint at = event->position().toPoint();
        std::printf("press %d %d\n", at.x(), at.y());
        std::fflush(stdout);
    }
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() != Qt::Key_F11)
            return QWidget::keyPressEvent(event);
        setWindowState(windowState() ^ Qt::WindowFullScreen);
        std::printf("key F11\n");
        std::fflush(stdout);
    }
    void focusInEvent(QFocusEvent*) override {
        std::printf("focus\n");
        std::fflush(stdout);
    }
    void focusOutEvent(QFocusEvent*) override {
        std::printf("unfocus\n");
        std::fflush(stdout);
    }
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(argc > 1 ? QString::fromLocal8Bit(argv[1])
                                                 : QStringLiteral("click-target"));
    Target target;
    target.setWindowTitle(QStringLiteral("Click Target"));
    target.setFocusPolicy(Qt::StrongFocus);
    QPalette palette = target.palette();
    palette.setColor(QPalette::Window, Qt::white);
    target.setPalette(palette);
    target.setAutoFillBackground(true);
    // Maximised, so that it lies under the stat window's corner wherever the
    // compositor would have put it.
    target.showMaximized();
    return QApplication::exec();
}
