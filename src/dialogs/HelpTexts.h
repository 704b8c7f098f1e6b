#pragma once

#include <QString>

class TDM;

// The help of one topic, named by a help name (which window) and a subject (which page or
// function), in table SYS_Help: the help text (HelpText) ships with the template database;
// the user's own notes on it (HelpText2) live in the working database. Values are bound, so
// any text, quotes included, is stored as typed.
class HelpTexts
{
public:
    HelpTexts(TDM &dm, const QString &helpName, const QString &subject);

    QString helpName() const { return m_helpName; }
    QString subject() const { return m_subject; }

    // The help text from the template; empty when the template is not open or has no row.
    QString ReadHelpText() const;
    // Whether the working database has a help table, so notes can be read and stored.
    bool NotesAvailable() const;
    // The notes from the working database; empty when it has none.
    QString ReadNotes() const;

    // Stores the help text in the working database (when it has the table) and in the
    // template, updating the topic's row or adding one. A database that refuses it is
    // reported with "執行失敗"; returns true when every store succeeded.
    bool SaveHelpText(const QString &text) const;
    // Stores the notes in the working database. Returns false (and stores nothing) when it
    // has no help table or refused the statement.
    bool SaveNotes(const QString &text) const;

private:
    TDM &m_dm;
    QString m_helpName;
    QString m_subject;
};

// Heights and places of the two texts of the help window, in pixels: the help text is taller
// when the topic has no notes.
struct HelpLayout
{
    int upperHeight;
    int lowerTop;
    int lowerHeight;
};
HelpLayout HelpLayoutFor(const QString &notes);
