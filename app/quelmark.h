// The main routine of the program, apart from the process entry so that it runs under any
// toolkit backend.
#pragma once

#include <functional>
#include <memory>

#include "app/main_window_services.h"
#include "platform/ui/ui.h"

using ServicesFactory = std::function<std::unique_ptr<MainWindowServices>()>;

// A second copy of the program ends at once (fleet::EndSecondCopy). Otherwise sets the help
// file and the title "Quelmark", creates the main window, the about box and the log viewer
// (in this order) and runs the message loop, all inside one guard that shows what escapes in
// the exception box (an unattended run, fleet::SelectsUnattendedRun, never shows it). Then
// destroys the windows (the main window last; its destruction may end the process) and
// returns the exit status: fleet::StatusBeforeTheLook unless the main window, after a look at
// the product that completed, chose another (0 unless " /EXITCODE" or " /PREVIEW" asked).
int QuelmarkMain(ui::Application& app, const ServicesFactory& makeServices = MakeServiceStage);
