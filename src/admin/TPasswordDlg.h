#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

// The administrator password dialog "系統管理密碼": "OK" compares the typed password with the
// stored one and closes, reporting whether it matched; "Cancel" closes without a match. A
// wrong password shows no message.
class TPasswordDlg : public QDialog
{
    Q_OBJECT
public:
    // storedPassword: the stored text of the password (Base / "system pass").
    explicit TPasswordDlg(const QString &storedPassword, QWidget *parent = nullptr);

    // Whether the dialog closed with the right password.
    bool Matched() const { return m_matched; }

    // Shows the dialog modally; true when the right password was typed.
    static bool AskPassword(const QString &storedPassword, QWidget *parent = nullptr);

    QLabel *Label1 = nullptr;
    QLineEdit *Password = nullptr;
    QPushButton *OKBtn = nullptr;
    QPushButton *CancelBtn = nullptr;

private:
    void OKBtnClick();
    void CancelBtnClick();

    QString m_storedPassword;
    bool m_matched = false;
};
