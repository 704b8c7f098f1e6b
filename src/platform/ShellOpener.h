#pragma once

#include <QString>

// Opens a file or a folder with the program the desktop associates with it (a folder in the
// file manager). The program uses the desktop's services; tests install a recorder.
class ShellOpener
{
public:
    virtual ~ShellOpener() = default;
    // False when the desktop could not open it.
    virtual bool OpenPath(const QString &path) = 0;
};

// The opener in use: the one set last, else the desktop's.
ShellOpener &CurrentShellOpener();
void SetCurrentShellOpener(ShellOpener *opener);
