// make_template <out.db> <seedDir>
// Builds the template database from the seed rows in <seedDir> and the help texts in the
// folder "help" beside it. Run by the build; exits non-zero with the reason on failure.

#include "core/TemplateBuilder.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTextStream>

using namespace Qt::Literals::StringLiterals;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    QTextStream err(stderr);
    if (args.size() != 3) {
        err << "usage: make_template <out.db> <seedDir>\n";
        return 2;
    }
    QString error;
    if (!BuildTemplateDatabase(args.at(1), args.at(2), &error)) {
        err << "make_template: " << error << '\n';
        return 1;
    }
    return 0;
}
