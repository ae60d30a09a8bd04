#include <QApplication>
#include <QMainWindow>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pictrove"));
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Pictrove"));
    window.resize(640, 480);
    window.show();
    return app.exec();
}
