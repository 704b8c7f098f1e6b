#pragma once

#include <QMainWindow>

class TFmRolvan : public QMainWindow
{
    Q_OBJECT
public:
    explicit TFmRolvan(QWidget *parent = nullptr);
};
