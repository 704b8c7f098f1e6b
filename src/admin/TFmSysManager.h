#pragma once

#include <QDialog>

class QPushButton;
class TDM;

// The administration menu "系統管理作業": the settings window, the database backup and the
// version update, one button each in a column.
class TFmSysManager : public QDialog
{
    Q_OBJECT
public:
    explicit TFmSysManager(TDM &dm, QWidget *parent = nullptr);

    QPushButton *BitBtn1 = nullptr; // 系統設定
    QPushButton *BitBtn2 = nullptr; // 資料庫備份
    QPushButton *BitBtn3 = nullptr; // 版本更新偵測
    QPushButton *BitBtn4 = nullptr; // 結束

protected:
    void done(int result) override;

private:
    void SettingsClick();     // BitBtn1 系統設定
    void BackupClick();       // BitBtn2 資料庫備份
    void VersionCheckClick(); // BitBtn3 版本更新偵測

    TDM &m_dm;
};

// Opens the administration menu modally. With askPassword (the sign-in screen) a stored
// administrator password must be typed first; an empty one opens the menu at once. Without it
// (the class window) the menu opens directly. Returns whether the menu was shown.
bool OpenAdministration(TDM &dm, QWidget *parent, bool askPassword);
