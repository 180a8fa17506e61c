// The stored layouts of the program's three windows: 96 pixels per inch, positions as left,
// top in pixels of the control's container, sizes as width x height.
#pragma once

#include <vector>

#include "platform/ui/ui.h"

namespace layout {

// Resource names of the pictures (app/res/quelmark.rc).
inline const char* const kLogo = "LOGO";
inline const char* const kMarkOk = "MARK_OK";
inline const char* const kMarkFallo = "MARK_FALLO";
inline const char* const kMenuCerrar = "MENU_CERRAR";
inline const char* const kMenuAyuda = "MENU_AYUDA";
inline const char* const kMenuAcerca = "MENU_ACERCA";

ui::FormSpec MainForm();
std::vector<ui::ControlSpec> MainControls();
std::vector<ui::MenuSpec> MainMenu();

ui::FormSpec LogViewerForm();
std::vector<ui::ControlSpec> LogViewerControls();

ui::FormSpec AboutForm();
// The support address is the link's text; it follows "mailto:" when the link is clicked.
inline const char* const kSupportAddress = "soporte@quelmark.test";
std::vector<ui::ControlSpec> AboutControls();

}  // namespace layout
