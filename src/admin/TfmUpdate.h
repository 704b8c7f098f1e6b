#pragma once

#include <QDialog>

#include <functional>
#include <memory>

class QLabel;
class QProgressBar;
class QPushButton;
class VersionUpdate;

// The version update "版本更新作業  ": checks the update server for a newer version, downloads
// and unpacks it and hands over to the updater when the station ends; in designer mode it
// builds the update package instead. The work is VersionUpdate's.
class TfmUpdate : public QDialog
{
    Q_OBJECT
public:
    explicit TfmUpdate(QWidget *parent = nullptr);
    ~TfmUpdate() override;

    QLabel *Label1 = nullptr; // the message line
    QProgressBar *ProgressBar1 = nullptr;
    QPushButton *BitBtn1 = nullptr; // 下載更新
    QPushButton *BitBtn2 = nullptr; // 系統管理程式壓縮 (designer mode)
    QPushButton *BitBtn3 = nullptr; // 結束

    // Ends the station once the updater is set to take over; by default every window closes.
    void setEndStation(std::function<void()> end) { m_endStation = std::move(end); }
    // The folder of the station's program files (default: the running program's folder).
    void setProgramFolder(const QString &folder) { m_programFolder = folder; }

    void FormActivate();
    void DownloadUpdateClick(); // BitBtn1 下載更新
    void PackProgramClick();    // BitBtn2 系統管理程式壓縮

protected:
    void showEvent(QShowEvent *event) override;
    void done(int result) override;

private:
    void Install();
    void ShowLine(const QString &text);

    std::unique_ptr<VersionUpdate> m_update;
    std::function<void()> m_endStation;
    QString m_programFolder;
    QString m_currentVersion;
};
