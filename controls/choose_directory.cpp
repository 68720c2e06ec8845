#include "controls/choose_directory.h"

#include <QGuiApplication>
#include <QScreen>
#include <memory>

#include "controls/select_dir_dlg.h"
#include "framework/core/path_utils.h"

bool ChooseDirectory(std::string& Directory, TSelectDirOpts Options, int HelpContext) {
  auto dialog = std::make_unique<TSelectDirDlg>();
  dialog->SetDirectory(Directory);
  dialog->SetEditable(Options & EditableName);
  dialog->SetConfirm(Options & ConfirmNew);
  const QScreen* screen = dialog->screen() ? dialog->screen() : QGuiApplication::primaryScreen();
  const int pixelsPerInch = screen ? qRound(screen->logicalDotsPerInch()) : 96;
  if (pixelsPerInch != 96) {
    dialog->ScaleBy(pixelsPerInch, 96);
    dialog->CenterOnScreen();
  }
  dialog->SetHelpContext(HelpContext);
  if (dialog->exec() != QDialog::Accepted) return false;
  Directory = dialog->Directory();
  if (Options & CreateOnOK) fw::forceDirectories(Directory);
  return true;
}
