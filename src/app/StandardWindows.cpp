#include "app/StandardWindows.h"

#include "admin/TFmSysManager.h"
#include "admin/TfrmCopyTable.h"
#include "classes/TFmSetup.h"
#include "reports/TFmReport.h"
#include "reports/TfmInitiative.h"
#include "station/StationState.h"
#include "station/TfmPSIO_Booking.h"

WindowOpeners StandardWindowOpeners()
{
    WindowOpeners open;
    open.classWindow = [](TDM &dm, StationState &station, QWidget *parent) {
        TFmSetup setup(dm, StandardWindowOpeners(), parent);
        setup.setStation(&station);
        return setup.exec() == QDialog::Accepted && setup.classChosen();
    };
    open.administration = [](TDM &dm, QWidget *parent, bool askPassword) {
        return OpenAdministration(dm, parent, askPassword);
    };
    open.conversionWindow = [](TDM &dm, QWidget *parent) {
        TfrmCopyTable conversion(dm, parent);
        conversion.exec();
    };
    open.reportsWindow = [](TDM &dm, QWidget *parent) { TFmReport::Open(dm, parent); };
    open.recordsWindow = [](TDM &dm, const StationState *station, QWidget *parent) {
        TfmPSIO_Booking::Open(dm, station, parent);
    };
    open.enrolmentWindow = [](TDM &dm, StationState *station, QWidget *parent,
                              const std::function<void(const QString &)> &signInCounted) {
        TfmInitiative::Open(dm, station, parent, signInCounted);
    };
    open.photoSheet = [](TDM &dm, QWidget *parent) { TFmReport::PrintPhotoSheet(dm, parent); };
    open.rollCallSheet = [](TDM &dm, QWidget *parent) {
        return TFmReport::ProduceSheet(dm, parent, SignSheetKind::RollCall, false);
    };
    open.submissionOutputs = [](TDM &dm, QWidget *parent,
                                const std::function<void(const QString &)> &stage) {
        return TFmReport::RunSubmissionOutputs(dm, parent, stage);
    };
    return open;
}
