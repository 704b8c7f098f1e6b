#pragma once

#include "admin/StationSettingsForm.h"

#include <QDialog>

#include <array>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QToolButton;
class QWidget;
class TDM;

// The settings window "系統設定": the per-station settings of the settings file, and the
// folders and first working database of a new station. The script page is for the designer.
class TfmDBPath : public QDialog
{
    Q_OBJECT
public:
    explicit TfmDBPath(TDM &dm, QWidget *parent = nullptr);

    // Shows the first page, the script page in designer mode only, and (the first time) the
    // stored settings.
    void FormActivate();

    // The values behind the fields (filled from the fields before each action).
    StationSettingsForm &form() { return m_form; }

    QTabWidget *PageControl1 = nullptr;
    QWidget *TabSheet1 = nullptr;  // 一般設定
    QWidget *TabSheet2 = nullptr;  // 指令執行 (designer mode)
    QWidget *TabSheet3 = nullptr;  // 共用資料庫

    QLineEdit *EditCompanyID = nullptr;
    QLineEdit *EditSYSID = nullptr;
    QLineEdit *EditCompany = nullptr;
    QLineEdit *EditDoor = nullptr;
    QLabel *LabelPassword = nullptr;
    QLineEdit *Password = nullptr;

    QLineEdit *Edit1 = nullptr;    // database folder
    QLineEdit *Edit5 = nullptr;    // backups
    QLineEdit *Edit24 = nullptr;   // CSV exports (hidden)
    QLineEdit *Edit2 = nullptr;    // check files
    QToolButton *SpeedButton1 = nullptr; // Edit24 (hidden)
    QToolButton *SpeedButton2 = nullptr; // Edit1
    QToolButton *SpeedButton3 = nullptr; // Edit5
    QToolButton *SpeedButton4 = nullptr; // Edit2
    QComboBox *ComboBox6 = nullptr;      // drive (Windows only)
    QRadioButton *RadioButton6 = nullptr; // 課程編號
    QRadioButton *RadioButton7 = nullptr; // 年月 (hidden, disabled)
    QPushButton *BitBtn20 = nullptr;     // 新增以下目錄與Rolvan.mdb

    QLineEdit *EditCourseIdLen = nullptr;
    QLineEdit *Edit61 = nullptr;
    QLineEdit *Edit62 = nullptr;
    QLineEdit *Edit63 = nullptr;
    QLineEdit *Edit4 = nullptr;
    QLineEdit *Edit64 = nullptr;
    QLineEdit *Edit65 = nullptr;
    std::array<QLineEdit *, 6> ClassPeriodEdits{}; // Edit31 .. Edit36
    QLineEdit *Edit3 = nullptr;

    QLineEdit *Edit66 = nullptr;
    QLineEdit *Edit51 = nullptr;
    QComboBox *ComboBox9 = nullptr;
    QCheckBox *CheckBox3 = nullptr;
    QCheckBox *CheckBox17 = nullptr;
    QComboBox *ComboBox4 = nullptr;
    QComboBox *ComboBox7 = nullptr;
    QCheckBox *CheckBox26 = nullptr;
    QLineEdit *netAdd = nullptr;
    QLineEdit *VerCheck = nullptr;

    // The shared database (useNetDB), on a page of its own.
    QGroupBox *GroupNetDb = nullptr;
    QCheckBox *CheckUseNetDB = nullptr;
    QLineEdit *EditNetDbHost = nullptr;
    QLineEdit *EditNetDbPort = nullptr;
    QLineEdit *EditNetDbDatabase = nullptr;
    QLineEdit *EditNetDbUser = nullptr;
    QLineEdit *EditNetDbPassword = nullptr;
    QPushButton *BitBtnNetDbTest = nullptr; // 測試連線
    QLabel *LabelNetDbFolder = nullptr;     // beside the database folder: not used then

    QGroupBox *PanelCard = nullptr; // card reader (hidden, disabled)
    QCheckBox *CheckBox1 = nullptr;
    QComboBox *ComboBox2 = nullptr;
    QComboBox *ComboBox1 = nullptr;
    QLineEdit *Edit15 = nullptr;
    QComboBox *ComboBox10 = nullptr;
    QLineEdit *Edit44 = nullptr;

    QPlainTextEdit *Memo1 = nullptr; // script of the second page
    QPushButton *BitBtn3 = nullptr;  // 執行

    QPushButton *BitBtn1 = nullptr;  // 儲存設定
    QPushButton *BitBtn15 = nullptr; // 說明
    QPushButton *BitBtn2 = nullptr;  // 離開

protected:
    void showEvent(QShowEvent *event) override;

private:
    void CreateComponents();
    QWidget *CreateGeneralPage();
    // The groups of the general page, left column then right.
    QWidget *CreateUnitGroup(QWidget *page);
    QWidget *CreatePathGroup(QWidget *page);
    QWidget *CreateAddressGroup(QWidget *page);
    QWidget *CreateCardGroup(QWidget *page);
    QWidget *CreateRuleGroup(QWidget *page);
    QWidget *CreatePeriodGroup(QWidget *page);
    QWidget *CreateInputGroup(QWidget *page);
    QWidget *CreateScriptPage();
    QWidget *CreateNetDbPage();
    void FieldsToForm();
    // Shows the page of the field and puts the cursor in it.
    void FocusField(StationSettingsForm::Field field);
    void FormToFields();

    void SaveSettingsClick();  // BitBtn1 儲存設定
    void CreateFoldersClick(); // BitBtn20 新增以下目錄與Rolvan.mdb
    void BitBtnNetDbTestClick();
    void CheckUseNetDBClick();
    // SpeedButton1 .. SpeedButton4: a folder chosen for the field beside the button.
    void ChooseFolderClick(QLineEdit *target);
    void DriveChange();        // ComboBox6: the folders move to the drive chosen
    void HelpClick();          // BitBtn15 說明
    void RunScriptClick();     // BitBtn3 (指令執行): the statements of Memo1
    void PageControl1Change();

    TDM &m_dm;
    StationSettingsForm m_form;
    bool m_loaded = false;
};
