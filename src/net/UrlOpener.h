#pragma once

#include <QString>

// Opens a web address in the default browser. The program uses the desktop's browser; tests
// install a recorder.
class UrlOpener
{
public:
    virtual ~UrlOpener() = default;
    // False when no browser could be started.
    virtual bool Open(const QString &url) = 0;
};

// The opener of the running program (or of the current test).
UrlOpener &CurrentUrlOpener();
void SetCurrentUrlOpener(UrlOpener *opener);
