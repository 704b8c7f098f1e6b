#pragma once

#include <QSqlDatabase>
#include <QString>

// The four data folders of the station, from the INI with their defaults.
struct DataFolders
{
    QString database;
    QString backup;
    QString csv;
    QString images;
};
DataFolders ReadDataFolders();

// The main window's caption: the program, its edition and version.
QString MainWindowCaption();

// The caption of the personnel-number column (sys_code of the working database).
QString ReadIdnoCaption(QSqlDatabase db);
