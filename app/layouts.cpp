#include "app/layouts.h"

namespace layout {

namespace {

ui::Font WindowFont() {
  ui::Font f;
  f.name = "MS Sans Serif";
  f.height = 11;  // 8 points
  f.color = ui::clWindowText;
  return f;
}

// The stage marks: 16 x 16 pictures, not stretched, in 17 x 17 controls on the white panel.
ui::ControlSpec Mark(const char* name, int left, int top, const char* picture) {
  return ui::ImageRow(name, {left, top, 17, 17}, picture).Backdrop(ui::clWhite).Hidden();
}

}  // namespace

ui::FormSpec MainForm() {
  ui::FormSpec f;
  f.name = "Form1";
  f.caption = "Quelmark";
  f.width = 372;
  f.height = 171;
  f.clientSize = true;
  f.border = ui::BorderStyle::Single;
  f.minimizeBox = true;
  f.maximizeBox = false;
  f.placement = ui::Placement::DesktopCenter;
  f.color = ui::clBtnFace;
  f.font = WindowFont();
  return f;
}

std::vector<ui::ControlSpec> MainControls() {
  return {
      ui::LabelRow("Label1", {144, 1, 205, 16}, "Desinstalaci\xF3n de Tev32 12.1")
          .FontOf(13, true),
      ui::ShapeRow("Shape1", {144, 24, 225, 113}),
      ui::ImageRow("Image1", {4, 0, 133, 166}, kLogo).Stretched(),
      ui::LabelRow("Label2", {149, 34, 163, 13}, "Deteniendo / Eliminando Servicios").OnWhite(),
      ui::LabelRow("Label3", {150, 59, 102, 13}, "Deteniendo Procesos").OnWhite(),
      ui::LabelRow("Label4", {151, 85, 101, 13}, "Limpiando el Registro").OnWhite(),
      ui::LabelRow("Label5", {150, 112, 94, 13}, "Eliminando Ficheros").OnWhite(),
      Mark("ImgSrvFallo", 340, 33, kMarkFallo),
      Mark("ImgSrvOk", 341, 33, kMarkOk),
      Mark("ImgPrcFallo", 340, 59, kMarkFallo),
      Mark("ImgPrcOk", 341, 59, kMarkOk),
      Mark("ImgRegFallo", 341, 85, kMarkFallo),
      Mark("ImgRegOk", 341, 85, kMarkOk),
      Mark("ImgFileFallo", 341, 111, kMarkFallo),
      Mark("ImgFileOk", 341, 111, kMarkOk),
      ui::ButtonRow("Button1", {144, 142, 104, 25}, "Comenzar Limpieza").Tab(0),
  };
}

std::vector<ui::MenuSpec> MainMenu() {
  return {
      {"Aplicacin1", "Aplicaci\xF3n", "", {{"Cerrar1", "Cerrar", kMenuCerrar, {}}}},
      {"Ayuda1",
       "Ayuda",
       "",
       {{"Temasdeayuda1", "Temas de ayuda", kMenuAyuda, {}},
        {"Acercade1", "Acerca de...", kMenuAcerca, {}}}},
  };
}

ui::FormSpec LogViewerForm() {
  ui::FormSpec f;
  f.name = "Form3";
  f.caption = "Fichero Log";
  f.width = 575;
  f.height = 320;
  f.clientSize = false;
  f.border = ui::BorderStyle::Sizeable;
  f.minimizeBox = false;
  f.maximizeBox = false;
  f.placement = ui::Placement::DesktopCenter;
  f.color = ui::clBtnFace;
  f.font = WindowFont();
  return f;
}

std::vector<ui::ControlSpec> LogViewerControls() {
  return {
      ui::ButtonRow("Button1", {244, 264, 75, 25}, "&Cerrar").Tab(0),
      ui::MemoRow("Memo1", {2, 4, 564, 253}).Tab(1),
  };
}

ui::FormSpec AboutForm() {
  ui::FormSpec f;
  f.name = "AboutBox";
  f.caption = "Acerca de...";
  f.width = 298;
  f.height = 180;
  f.clientSize = true;
  f.border = ui::BorderStyle::Dialog;
  f.minimizeBox = false;
  f.maximizeBox = false;
  f.placement = ui::Placement::ScreenCenter;
  f.color = ui::clBtnFace;
  f.font = WindowFont();
  return f;
}

std::vector<ui::ControlSpec> AboutControls() {
  return {
      ui::PanelRow("Panel1", {8, 8, 281, 137}).Tab(0),
      ui::ImageRow("ProgramIcon", {8, 8, 73, 81}, kLogo).Stretched().In("Panel1"),
      ui::LabelRow("ProductName", {100, 16, 46, 13}, "Quelmark").In("Panel1"),
      ui::LabelRow("Version", {100, 40, 56, 13}, "Version: 1.0").In("Panel1"),
      ui::LabelRow("Copyright", {8, 95, 209, 13}, "Copyright \xA9 2004 Quelmark")
          .Colored(ui::clBlack)
          .In("Panel1"),
      ui::LabelRow("Label1", {100, 64, 171, 13}, "Desisntalaci\xF3n de Tev32 12.1")
          .FontOf(0, true)
          .In("Panel1"),
      ui::LabelRow("Label2", {68, 113, 31, 13}, "E-mail:").In("Panel1"),
      ui::LabelRow("Label3", {101, 112, 117, 13}, kSupportAddress)
          .Colored(ui::clBlue)
          .Hand()
          .In("Panel1"),
      ui::ButtonRow("OKButton", {111, 152, 75, 25}, "OK").Default().Tab(1),
  };
}

}  // namespace layout
