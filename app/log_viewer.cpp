#include "app/log_viewer.h"

#include "app/layouts.h"
#include "app/main_window.h"

TForm3::TForm3(ui::Application& app, const TForm1& mainWindow)
    : ui::Form(app, layout::LogViewerForm(), layout::LogViewerControls()),
      Button1(Find<ui::Button>("Button1")),
      Memo1(Find<ui::Memo>("Memo1")),
      main_(mainWindow) {
  OnActivate = [this] { FormActivate(); };
  Button1->OnClick = [this] { Button1Click(); };
}

void TForm3::FormActivate() {
  const cleanup::StringList* log = main_.LogList();
  if (filled_ || log == nullptr) return;
  filled_ = true;
  Memo1->AddLines(*log);
}

void TForm3::Button1Click() { Close(); }
