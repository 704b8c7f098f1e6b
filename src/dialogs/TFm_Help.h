#pragma once

#include "dialogs/HelpTexts.h"

#include <QDialog>

class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QWidget;
class TDM;

// The help window: the help text of one topic (help name + page) from the template database,
// and the user's own notes on it from the working database. The help text can be edited only
// in designer mode; the notes by everyone whose working database has a help table.
class TFm_Help : public QDialog
{
    Q_OBJECT
public:
    // Shows the topic named by G().HelpName and dm.vString (set them first, or use ShowHelp).
    explicit TFm_Help(TDM &dm, QWidget *parent = nullptr);

    // Opens the help of a topic modally; windows call this from their help buttons.
    static void ShowHelp(TDM &dm, const QString &helpName, const QString &subject,
                         QWidget *parent = nullptr);
    // The same on the subject of the page shown: the caption of its tab.
    static void ShowHelpOfPage(TDM &dm, const QString &helpName, const QTabWidget *pages,
                               QWidget *parent);

    // Reads both texts and lays them out; runs when the window is first shown.
    void FormActivate();
    // Whether an edit was made since the texts were read or saved.
    bool IsModified() const { return m_modified; }

    QWidget *Panel1 = nullptr;          // button bar
    QPushButton *BitBtn1 = nullptr;     // 說明儲存 (designer mode)
    QPushButton *BitBtn2 = nullptr;     // 自定說明儲存
    QPushButton *BitBtn3 = nullptr;     // 離開
    QPlainTextEdit *HelpText = nullptr; // upper: the help text
    QPlainTextEdit *HelpText2 = nullptr; // lower: the user's notes

public slots:
    // "離開" and the window's close box: asks first when there are unsaved edits.
    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void SaveHelpClick();  // BitBtn1 說明儲存
    void SaveNotesClick(); // BitBtn2 自定說明儲存
    void TextChange();
    void ApplyLayout();

    TDM &m_dm;
    HelpTexts m_texts;
    HelpLayout m_layout{440, 490, 178};
    bool m_modified = false;
    bool m_activated = false;
};
