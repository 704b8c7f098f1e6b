#include "station/TFmRolvan.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    TFmRolvan w;
    w.show();
    return app.exec();
}
