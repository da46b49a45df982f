#include "BatchWindow.h"
#include "Image.h"

#include <QApplication>
#include <QFileInfo>

#include <cstdio>

int main(int argc, char* argv[])
{
    Image::initImage();
    int status = 0;
    {
        QApplication app(argc, argv);
        BatchWindow window(nullptr);
        window.updateUI();

        // `tessera-batch PICTURE...` starts with those pictures chosen, as if
        // they had been picked with "Open".
        QStringList pictures;
        const QStringList arguments = QCoreApplication::arguments();
        for (int i = 1; i < arguments.size(); ++i) {
            const QFileInfo info(arguments.at(i));
            if (!info.isFile())
                std::fprintf(stderr, "tessera-batch: no such picture: %s\n",
                             qPrintable(arguments.at(i)));
            pictures << info.absoluteFilePath();
        }
        window.setFiles(pictures);

        window.show();
        status = app.exec();
    }
    Image::deinitImage();
    return status;
}
