#include "wizard/window/platform_dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QString>

namespace wizard::window {
namespace {

QString FromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

std::string QtOpenFileDialog::ShowOpen(const OpenFileSettings& settings) {
  QFileDialog dialog(parent_, FromUtf8(settings.title), FromUtf8(settings.initial_folder),
                     FromUtf8(settings.filter));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(settings.file_must_exist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  dialog.setDefaultSuffix(FromUtf8(settings.default_suffix));
  if (!settings.file_name.empty()) dialog.selectFile(FromUtf8(settings.file_name));
  if (dialog.exec() != QDialog::Accepted) return {};
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return {};
  return QDir::toNativeSeparators(chosen.front()).toStdString();
}

void QtReporterEnvironment::ShowMessage(std::string_view text, std::string_view title,
                                        int32_t style) {
  QString shown = FromUtf8(text);
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  const QMessageBox::Icon icon =
      (style & 0x70) == errors::kInformation ? QMessageBox::Information : QMessageBox::NoIcon;
  QMessageBox box(icon, FromUtf8(title), shown, QMessageBox::Ok, parent_);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

}  // namespace wizard::window
