#pragma once

#include <QString>

// Fields of the sign-in screen that the activation fills and other windows read.
struct StationState
{
    // Captions of the sign-event types "2" .. "5".
    QString io3Cap = QStringLiteral("午到");
    QString io4Cap = QStringLiteral("午退");
    QString io5Cap = QStringLiteral("晚到");
    QString io6Cap = QStringLiteral("晚退");

    QString imeName;               // input method put on text inputs
    bool autoSyncModule = false;   // 網路資料自動同步模組
    bool photoOn = false;          // take a snapshot at each sign event
    bool enrolmentModule = true;   // always on for this edition
    bool preBooking = true;        // the chosen class requires enrolment
    QString photoSubPathRule = QStringLiteral("年月");
    int cameraDeviceNo = 0;

    // Time limits read at each activation.
    QString BeforeStart = QStringLiteral("00:00");
    QString AfterEnd = QStringLiteral("00:00");
    int BreakLimit = 60;
    int AutoSwitchLimit = 15;

    // Identity kind stored with each sign event.
    QString StorageKind;

    // A class was chosen by the user (class window) or by the automatic choice.
    bool ClassChosenByUser = false;
    bool ClassChosenAuto = false;
    bool classChosen() const { return ClassChosenByUser || ClassChosenAuto; }

    // Clock-synchronisation flag stored with each sign event ("Y" or "N").
    QString NtpFlag = QStringLiteral("N");
};
