#include "admin/TPasswordDlg.h"

#include "Fun/FormHelpers.h"
#include "admin/AdminPassword.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

TPasswordDlg::TPasswordDlg(const QString &storedPassword, QWidget *parent)
    : QDialog(parent), m_storedPassword(storedPassword)
{
    setObjectName(u"PasswordDlg"_s);
    setWindowTitle(u"系統管理密碼"_s);
    setModal(true);

    Label1 = new QLabel(u"Enter password:"_s, this);
    Label1->setObjectName(u"Label1"_s);
    Password = new QLineEdit(this);
    Password->setObjectName(u"Password"_s);
    Password->setEchoMode(QLineEdit::Password);
    Password->setStyleSheet(u"lineedit-password-character: 42;"_s); // shown as "*"
    Password->setMinimumWidth(240);
    Label1->setBuddy(Password);

    OKBtn = new QPushButton(u"OK"_s, this);
    OKBtn->setObjectName(u"OKBtn"_s);
    OKBtn->setDefault(true);
    OKBtn->setAutoDefault(true);
    CancelBtn = MakeButton(this, u"CancelBtn"_s, u"Cancel"_s);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(Password);
    layout->addSpacing(8);
    layout->addLayout(buttons);

    connect(OKBtn, &QPushButton::clicked, this, &TPasswordDlg::OKBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &TPasswordDlg::CancelBtnClick);

    adjustSize();
    // Centred on the parent, or on the screen without one.
    const QRect area = parent ? parent->window()->frameGeometry()
                              : (QGuiApplication::primaryScreen()
                                     ? QGuiApplication::primaryScreen()->availableGeometry()
                                     : QRect());
    if (area.isValid())
        move(area.center() - rect().center());
}

void TPasswordDlg::OKBtnClick()
{
    m_matched = AdminPasswordMatches(Password->text(), m_storedPassword);
    Password->clear();
    if (m_matched)
        accept();
    else
        reject();
}

void TPasswordDlg::CancelBtnClick()
{
    m_matched = false;
    Password->clear();
    reject();
}

bool TPasswordDlg::AskPassword(const QString &storedPassword, QWidget *parent)
{
    TPasswordDlg dialog(storedPassword, parent);
    dialog.exec();
    return dialog.Matched();
}
