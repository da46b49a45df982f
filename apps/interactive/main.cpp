#include "Image.h"

#include <QApplication>
#include <QLabel>

// Stand-in until the tool window exists.
int main(int argc, char* argv[])
{
    Image::initImage();
    QApplication app(argc, argv);
    QLabel label(QStringLiteral("tessera"));
    label.setWindowTitle(QStringLiteral("tessera"));
    label.resize(300, 100);
    label.show();
    const int status = app.exec();
    Image::deinitImage();
    return status;
}
