#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QWidget;
class TDM;
struct StationState;

// The ways one window opens another. A window never includes the window of another folder: the
// program's entry (app/StandardWindows) fills these with the real windows and hands them to the
// sign-in screen, which hands them on to the class window. An opener left empty does nothing
// (a test of one window may leave out the windows it does not open).
struct WindowOpeners
{
    // "講習選定": the class window, modal. True when the user chose a class there and started
    // signing ("開始簽到退").
    std::function<bool(TDM &, StationState &, QWidget *)> classWindow;
    // The administration menu, behind the password when askPassword; true when it was opened.
    std::function<bool(TDM &, QWidget *, bool askPassword)> administration;
    // The conversion window of an old database, modal.
    std::function<void(TDM &, QWidget *)> conversionWindow;
    // The reports window of the current class (CurrentClassKey).
    std::function<void(TDM &, QWidget *)> reportsWindow;
    // The sign-event records window of the current class.
    std::function<void(TDM &, const StationState *, QWidget *)> recordsWindow;
    // The enrolment window of the current class; signInCounted gets the sign-in button's new
    // caption after a manual sign-in (may be empty).
    std::function<void(TDM &, StationState *, QWidget *,
                       const std::function<void(const QString &)> &signInCounted)>
        enrolmentWindow;
    // The sign-in sheet with photographs of the current class, previewed and printed.
    std::function<void(TDM &, QWidget *)> photoSheet;
    // The roll-call sheet of the current class written as PDF without a preview: the file, or
    // empty when it was cancelled or stopped.
    std::function<QString(TDM &, QWidget *)> rollCallSheet;
    // The hours run and the files sent with the audit package; stage names each step.
    std::function<QStringList(TDM &, QWidget *, const std::function<void(const QString &)> &stage)>
        submissionOutputs;
};
