// The yardstick for start-up: the least a Qt Widgets program does to show one window of a size.
// Given a text as well, the window shows it in one label: the least a window with any text costs.
#include <QApplication>
#include <QLabel>
#include <QWidget>
#include <cstdlib>
#include <memory>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QWidget window;
    window.setFixedSize(argc > 2 ? std::atoi(argv[1]) : 640, argc > 2 ? std::atoi(argv[2]) : 480);
    std::unique_ptr<QLabel> label;
    if (argc > 3) label = std::make_unique<QLabel>(QString::fromLocal8Bit(argv[3]), &window);
    window.show();
    return application.exec();
}
