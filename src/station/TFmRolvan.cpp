#include "station/TFmRolvan.h"

TFmRolvan::TFmRolvan(QWidget *parent)
    : QMainWindow(parent)
{
    setObjectName(QStringLiteral("FmRolvan"));
}
