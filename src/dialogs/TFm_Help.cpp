#include "dialogs/TFm_Help.h"

#include "Fun/FormHelpers.h"
#include "Fun/QueryBuilder.h"
#include "base/Globals.h"
#include "core/TDM.h"
#include "platform/ErrorReport.h"

#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QShowEvent>
#include <QTabWidget>

using namespace Qt::StringLiterals;

namespace {

constexpr int TextsTop = 40;  // below the button bar
constexpr int Margin = 6;

} // namespace

TFm_Help::TFm_Help(TDM &dm, QWidget *parent)
    : QDialog(parent)
    , m_dm(dm)
    , m_texts(dm, G().HelpName, dm.vString)
{
    setObjectName(u"Fm_Help"_s);
    setWindowTitle(u"說明  "_s + m_texts.helpName() + u" - "_s + m_texts.subject());

    Panel1 = new QWidget(this);
    Panel1->setObjectName(u"Panel1"_s);
    BitBtn1 = MakeButton(Panel1, u"BitBtn1"_s, u"說明儲存"_s);
    BitBtn2 = MakeButton(Panel1, u"BitBtn2"_s, u"自定說明儲存"_s);
    BitBtn3 = MakeButton(Panel1, u"BitBtn3"_s, u"離開"_s);
    auto *bar = new QHBoxLayout(Panel1);
    bar->setContentsMargins(Margin, 3, Margin, 3);
    bar->addWidget(BitBtn1);
    bar->addWidget(BitBtn2);
    bar->addStretch();
    bar->addWidget(BitBtn3);

    HelpText = new QPlainTextEdit(this);
    HelpText->setObjectName(u"HelpText"_s);
    HelpText2 = new QPlainTextEdit(this);
    HelpText2->setObjectName(u"HelpText2"_s);
    HelpText2->setPlaceholderText(u"自定說明"_s);

    connect(BitBtn1, &QPushButton::clicked, this, &TFm_Help::SaveHelpClick);
    connect(BitBtn2, &QPushButton::clicked, this, &TFm_Help::SaveNotesClick);
    connect(BitBtn3, &QPushButton::clicked, this, &TFm_Help::reject);
    connect(HelpText, &QPlainTextEdit::textChanged, this, &TFm_Help::TextChange);
    connect(HelpText2, &QPlainTextEdit::textChanged, this, &TFm_Help::TextChange);

    resize(820, 680);
    ApplyLayout();
}

void TFm_Help::ShowHelp(TDM &dm, const QString &helpName, const QString &subject, QWidget *parent)
{
    G().HelpName = helpName;
    dm.vString = subject;
    TFm_Help help(dm, parent);
    help.exec();
}

void TFm_Help::ShowHelpOfPage(TDM &dm, const QString &helpName, const QTabWidget *pages,
                              QWidget *parent)
{
    ShowHelp(dm, helpName, pages->tabText(pages->currentIndex()), parent);
}

void TFm_Help::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!m_activated) {
        m_activated = true;
        FormActivate();
    }
}

void TFm_Help::FormActivate()
{
    GuardAction([this] {
        // Help editing belongs to the designer; opening help never turns designer mode on.
        const bool designer = G().DesignerMode;
        HelpText->setPlainText(m_texts.ReadHelpText());
        const bool notesAvailable = m_texts.NotesAvailable();
        HelpText2->setPlainText(m_texts.ReadNotes());
        m_layout = HelpLayoutFor(HelpText2->toPlainText());
        HelpText->setReadOnly(!designer);
        BitBtn1->setVisible(designer);
        HelpText2->setReadOnly(!notesAvailable);
        BitBtn2->setEnabled(notesAvailable);
        ApplyLayout();
    });
    m_modified = false;
}

void TFm_Help::TextChange()
{
    m_modified = true;
}

void TFm_Help::SaveHelpClick()
{
    GuardAction([this] {
        if (m_texts.SaveHelpText(HelpText->toPlainText()))
            m_modified = false;
    });
}

void TFm_Help::SaveNotesClick()
{
    GuardAction([this] {
        if (m_texts.SaveNotes(HelpText2->toPlainText()))
            m_modified = false;
    });
}

void TFm_Help::reject()
{
    if (m_modified
        && !AskYesNo(u"資料尚未儲存 是否確定離開 ?"_s, u"是"_s, u"否"_s))
        return;
    QDialog::reject();
}

void TFm_Help::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    ApplyLayout();
}

void TFm_Help::ApplyLayout()
{
    const int width = this->width() - 2 * Margin;
    Panel1->setGeometry(0, 0, this->width(), TextsTop);
    HelpText->setGeometry(Margin, TextsTop, width, m_layout.upperHeight);
    HelpText2->setGeometry(Margin, m_layout.lowerTop, width, m_layout.lowerHeight);
}
