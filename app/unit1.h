#pragma once
// The background window TForm1, the program's main window: a maximised
// gradient with the product title in its top-left corner, and in its
// bottom-left corner who signed the medium. Showing it reads SETUP.INS and
// shows the wizard.
#include <memory>
#include <string>

#include "framework/gui/form.h"
#include "framework/gui/ini_file.h"
#include "ui_unit1.h"

class TForm1 : public TForm {
  Q_OBJECT

 public:
  explicit TForm1(QWidget* parent = nullptr);
  ~TForm1() override;

  // The OnShow handler: reads SETUP.INS from the program directory, hands its
  // values to the windows, then shows the wizard Form2 modeless.
  void FormShow(TObject* Sender);

  // Creates the INI reader for iniPath and hands its Title to Label1 and its
  // App and DestDir to Form2's texts and destination field. Missing values
  // are empty; nothing is reported. A user who is not root is proposed
  // UserDestDir instead when the medium has one; Paths=Tree makes the
  // installation keep the stored folders (medium/medium_settings.h).
  void ReadConfiguration(const std::string& iniPath);

  // The controls of the stored layout, by their names (ui->Label1).
  std::unique_ptr<Ui::TForm1> ui;
  // Who signed the medium (startup::mediumSigner); hidden when the program
  // does not run from a medium.
  QLabel* SignerLabel = nullptr;
  // The reader of SETUP.INS; lives from the first show to the end.
  std::unique_ptr<TIniFile> FIniFile;

 protected:
  void resizeEvent(QResizeEvent* event) override;
};

// The main window of the running program.
extern TForm1* Form1;
