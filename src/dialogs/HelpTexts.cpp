#include "dialogs/HelpTexts.h"

#include "core/DbFunctions.h"
#include "core/TDM.h"

#include <QSqlDatabase>

using namespace Qt::StringLiterals;

namespace {

const QString HelpTable = u"SYS_Help"_s;
const QString TopicCondition = u" where helpID = ? and JobScreen = ?"_s;

// Updates the column of the topic's row, or adds the row when the topic has none.
bool StoreColumn(QSqlDatabase db, const QString &column, const QString &helpName,
                 const QString &subject, const QString &text)
{
    const QVariantList topic{helpName, subject};
    const int rows =
        QueryValueOn(u"select count(*) from SYS_Help"_s + TopicCondition, db, topic).toInt();
    if (rows > 0) {
        return ExecSqlOn(u"Update SYS_Help set "_s + column + u" = ?"_s + TopicCondition, db,
                         {text, helpName, subject});
    }
    return ExecSqlOn(u"insert into SYS_Help (helpID, JobScreen, "_s + column
                         + u") Values(?, ?, ?)"_s,
                     db, {helpName, subject, text});
}

} // namespace

HelpTexts::HelpTexts(TDM &dm, const QString &helpName, const QString &subject)
    : m_dm(dm), m_helpName(helpName), m_subject(subject)
{
}

QString HelpTexts::ReadHelpText() const
{
    const QSqlDatabase sample = m_dm.ConSample();
    if (!sample.isOpen() || !TableExistsOn(HelpTable, sample))
        return QString();
    return QueryValueOn(u"select HelpText from SYS_Help"_s + TopicCondition, sample,
                        {m_helpName, m_subject})
        .toString();
}

bool HelpTexts::NotesAvailable() const
{
    return TableExistsOn(HelpTable, m_dm.Con1());
}

QString HelpTexts::ReadNotes() const
{
    if (!NotesAvailable())
        return QString();
    return QueryValueOn(u"select HelpText2 from SYS_Help"_s + TopicCondition, m_dm.Con1(),
                        {m_helpName, m_subject})
        .toString();
}

bool HelpTexts::SaveHelpText(const QString &text) const
{
    bool ok = true;
    if (NotesAvailable())
        ok = StoreColumn(m_dm.Con1(), u"HelpText"_s, m_helpName, m_subject, text);
    return StoreColumn(m_dm.ConSample(), u"HelpText"_s, m_helpName, m_subject, text) && ok;
}

bool HelpTexts::SaveNotes(const QString &text) const
{
    if (!NotesAvailable())
        return false;
    return StoreColumn(m_dm.Con1(), u"HelpText2"_s, m_helpName, m_subject, text);
}

HelpLayout HelpLayoutFor(const QString &notes)
{
    if (notes.isEmpty())
        return {550, 600, 70};
    return {440, 490, 178};
}
