#include "wizard/window/main_window.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFont>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QSvgRenderer>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "errors/guard.h"
#include "errors/runtime_error.h"
#include "wizard/window/compact_path.h"

namespace wizard::window {
namespace {

namespace fs = std::filesystem;

QString FromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The label shows the page texts' CR LF as line breaks.
QString ForDisplay(std::string_view text) {
  QString shown = FromUtf8(text);
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return shown;
}

}  // namespace

std::string DefaultDatabasePath() {
#ifdef _WIN32
  return std::string(kWindowsDefaultDatabase);
#else
  fs::path prefix;
  if (const char* wine_prefix = std::getenv("WINEPREFIX"); wine_prefix && *wine_prefix) {
    prefix = wine_prefix;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    prefix = fs::path(home) / ".wine";
  } else {
    prefix = ".wine";
  }
  return (prefix / "drive_c" / "Program Files" / "Tessaly Desktop Calendar" / "tessdata.mdb")
      .string();
#endif
}

QPixmap CalendarClockPixmap(int pixels) {
  QPixmap pixmap(pixels, pixels);
  pixmap.fill(Qt::transparent);
  QSvgRenderer renderer(QStringLiteral(":/tessaly/calendar_clock.svg"));
  QPainter painter(&pixmap);
  renderer.render(&painter);
  return pixmap;
}

// The run's view of the window (W3).
class MainWindow::View : public UpdateView {
 public:
  explicit View(MainWindow& window) : window_(window) {}
  void SetStatusText(std::string_view text) override { window_.SetStatusText(text); }
  void SetMainButtonCaption(std::string_view caption) override {
    window_.cmdButton1_->setText(FromUtf8(caption));
  }
  void SetMainButtonEnabled(bool enabled) override { window_.cmdButton1_->setEnabled(enabled); }
  void SetCancelEnabled(bool enabled) override { window_.cmdCancel_->setEnabled(enabled); }
  // Paints the wait text; clicks and keys wait in the queue until the run has
  // returned, so nothing can close the window or change the file mid-run.
  void YieldToEvents() override {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  }

 private:
  MainWindow& window_;
};

MainWindow::MainWindow(std::string default_database, OpenFileDialog& dialog, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      default_database_(std::move(default_database)),
      dialog_(dialog),
      view_(std::make_unique<View>(*this)),
      Picture1_(new QLabel(this)),
      lblUpdate_(new QLabel(this)),
      lblDatabaseFile_(new QLabel(this)),
      txtDatabaseFile_(new QLineEdit(this)),
      cmdBrowse_(new QPushButton(this)),
      cmdCancel_(new QPushButton(this)),
      cmdButton1_(new QPushButton(this)) {
  // The layout was drawn for an 8 point dialog font; the usual 9 or 10 point
  // desktop fonts would overflow its labels.
  QFont dialog_font = font();
  dialog_font.setPointSizeF(kFontPoints);
  setFont(dialog_font);

  const double dpi_x = logicalDpiX(), dpi_y = logicalDpiY();
  auto place = [&](QWidget* widget, const TwipsRect& r) {
    widget->setGeometry(TwipsToPixels(r.left, dpi_x), TwipsToPixels(r.top, dpi_y),
                        TwipsToPixels(r.width, dpi_x), TwipsToPixels(r.height, dpi_y));
  };
  setFixedSize(TwipsToPixels(kClientWidthTwips, dpi_x), TwipsToPixels(kClientHeightTwips, dpi_y));
  setWindowTitle(FromUtf8(kWindowCaption));
  QIcon icon;
  for (int pixels : {16, 32, 48}) icon.addPixmap(CalendarClockPixmap(pixels));
  setWindowIcon(icon);

  place(Picture1_, kPicture1);
  Picture1_->setPixmap(CalendarClockPixmap(48));
  Picture1_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

  place(lblUpdate_, kLblUpdate);
  lblUpdate_->setWordWrap(true);
  lblUpdate_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  lblUpdate_->setTextFormat(Qt::PlainText);
  SetStatusText(kDesignStatusText);

  place(lblDatabaseFile_, kLblDatabaseFile);
  lblDatabaseFile_->setText(FromUtf8(kPathLabelCaption));
  lblDatabaseFile_->setBuddy(txtDatabaseFile_);
  // Grown to its text where the font is wider than the one it was drawn for;
  // nothing stands to its right.
  lblDatabaseFile_->resize(std::max(lblDatabaseFile_->width(), lblDatabaseFile_->sizeHint().width()),
                           lblDatabaseFile_->height());

  place(txtDatabaseFile_, kTxtDatabaseFile);
  txtDatabaseFile_->setToolTip(FromUtf8(kPathToolTip));

  place(cmdBrowse_, kCmdBrowse);
  cmdBrowse_->setText(FromUtf8(kBrowseCaption));
  place(cmdCancel_, kCmdCancel);
  cmdCancel_->setText(FromUtf8(kCancelCaption));
  place(cmdButton1_, kCmdButton1);
  cmdButton1_->setText(FromUtf8(kNextCaption));
  for (QPushButton* button : {cmdBrowse_, cmdCancel_, cmdButton1_}) button->setAutoDefault(false);
  cmdButton1_->setDefault(true);

  setTabOrder(txtDatabaseFile_, cmdBrowse_);
  setTabOrder(cmdBrowse_, cmdCancel_);
  setTabOrder(cmdCancel_, cmdButton1_);
  txtDatabaseFile_->setFocus();

  connect(cmdButton1_, &QPushButton::clicked, this, [this] { cmdButton1_Click(); });
  connect(cmdCancel_, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
  connect(cmdBrowse_, &QPushButton::clicked, this, [this] { cmdBrowse_Click(); });

  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
}

MainWindow::~MainWindow() = default;

void MainWindow::SetStatusText(std::string_view text) {
  status_text_ = text;
  lblUpdate_->setText(ForDisplay(text));
}

void MainWindow::Form_Load() {
  errors::Guarded("frmMain.Form_Load", [&] {
    if (IsOrdinaryFile(default_database_)) {
      strDatabaseFile_ = default_database_;
      EnableUpdate(true);
    } else {
      strDatabaseFile_.clear();
      EnableUpdate(false);
    }
  });
}

void MainWindow::EnableUpdate(bool bEnable) {
  errors::Guarded("frmMain.EnableUpdate", [&] {
    if (bEnable) {
      SetStatusText(kReadyText);
      const int32_t width_twips = PathTextWidthTwips(txtDatabaseFile_->width(), logicalDpiX());
      txtDatabaseFile_->setText(
          FromUtf8(CompactPathForDisplay(strDatabaseFile_, width_twips, font())));
      cmdButton1_->setText(FromUtf8(kNextCaption));
      cmdButton1_->setEnabled(true);
    } else {
      SetStatusText(kNotFoundText);
      txtDatabaseFile_->clear();
      cmdButton1_->setEnabled(false);
    }
  });
}

void MainWindow::cmdButton1_Click() {
  errors::Guarded("frmMain.cmdButton1_Click", [&] {
    switch (ActionForCaption(cmdButton1_->text().toStdString())) {
      case MainButtonAction::kStartRun:
        cmdButton1_->setEnabled(false);
        Update(*view_, strDatabaseFile_);
        break;
      case MainButtonAction::kClose:
        close();
        break;
      case MainButtonAction::kNothing:
        break;
    }
  });
}

void MainWindow::cmdCancel_Click() { close(); }

void MainWindow::cmdBrowse_Click() {
  errors::Guarded("frmMain.cmdBrowse_Click", [&] {
    const OpenFileSettings settings = DatabaseDialogSettings(
        QCoreApplication::applicationDirPath().toStdString(), dialog_file_name_);
    // Cancel leaves the dialog's name as it was, so an earlier choice is
    // adopted again.
    if (std::string chosen = dialog_.ShowOpen(settings); !chosen.empty()) {
      dialog_file_name_ = std::move(chosen);
    }
    if (dialog_file_name_.empty()) return;
    strDatabaseFile_ = dialog_file_name_;
    EnableUpdate(true);
  });
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (cmdButton1_->isEnabled()) cmdButton1_->click();
      return;
    case Qt::Key_Escape:
      if (cmdCancel_->isEnabled()) cmdCancel_->click();
      return;
    default:
      QWidget::keyPressEvent(event);
  }
}

}  // namespace wizard::window
