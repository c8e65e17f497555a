#include <QApplication>
#include <QLabel>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QLabel window("Kov");
    window.resize(480, 240);
    window.show();
    return QApplication::exec();
}
