#include "wizard/window/main_window.h"

#include <QCloseEvent>
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

#include "wizard/window/compact_path.h"

namespace wizard::window {
namespace {

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

QPixmap CalendarClockPixmap(int pixels) {
  QPixmap pixmap(pixels, pixels);
  pixmap.fill(Qt::transparent);
  QSvgRenderer renderer(QStringLiteral(":/tessaly/calendar_clock.svg"));
  QPainter painter(&pixmap);
  renderer.render(&painter);
  return pixmap;
}

// The form's controls (F1-F7).
class MainWindow::Controls : public FormControls {
 public:
  explicit Controls(MainWindow& window) : window_(window) {}
  void SetStatusText(std::string_view text) override { window_.SetStatusText(text); }
  void ShowPath(const std::string& path) override {
    QLineEdit* box = window_.txtDatabaseFile_;
    if (path.empty()) {
      box->clear();
      return;
    }
    const int32_t width_twips = PathTextWidthTwips(box->width(), window_.logicalDpiX());
    box->setText(FromUtf8(CompactPathForDisplay(path, width_twips, window_.font())));
  }
  std::string MainCaption() override { return window_.cmdButton1_->text().toStdString(); }
  void SetMainCaption(std::string_view caption) override {
    window_.cmdButton1_->setText(FromUtf8(caption));
  }
  bool IsEnabled(Button button) override { return window_.ButtonOf(button)->isEnabled(); }
  void SetEnabled(Button button, bool enabled) override {
    window_.ButtonOf(button)->setEnabled(enabled);
  }
  void Focus(Button button) override { window_.ButtonOf(button)->setFocus(); }
  // Paints the wait text; clicks and keys wait in the queue.
  void PaintPending() override {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  }
  // What waits is delivered to the window's filter, which drops the input.
  void DiscardQueuedInput() override {
    window_.discarding_input_ = true;
    QCoreApplication::instance()->installEventFilter(&window_);
    QCoreApplication::processEvents();
    QCoreApplication::instance()->removeEventFilter(&window_);
    window_.discarding_input_ = false;
  }
  void Unload() override { window_.close(); }

 private:
  MainWindow& window_;
};

MainWindow::MainWindow(std::string default_database, OpenFileDialog& dialog, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      controls_(std::make_unique<Controls>(*this)),
      form_(*controls_, dialog, std::move(default_database)),
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
  lblDatabaseFile_->resize(
      std::max(lblDatabaseFile_->width(), lblDatabaseFile_->sizeHint().width()),
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

QPushButton* MainWindow::ButtonOf(Button button) const {
  switch (button) {
    case Button::kBrowse: return cmdBrowse_;
    case Button::kCancel: return cmdCancel_;
    case Button::kMain: break;
  }
  return cmdButton1_;
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
  // Buttons pass Enter on (only a default button takes it), as the path box
  // does after its returnPressed.
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: {
      std::optional<Button> focused;
      for (Button button : {Button::kBrowse, Button::kCancel, Button::kMain}) {
        if (focusWidget() == ButtonOf(button)) focused = button;
      }
      form_.EnterPressed(focused);
      return;
    }
    case Qt::Key_Escape: form_.EscapePressed(); return;
    default: QWidget::keyPressEvent(event);
  }
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (form_.running()) {  // a box of the run is up (F3)
    form_.CloseRequested();
    event->ignore();
    return;
  }
  event->accept();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (discarding_input_) {
    switch (event->type()) {
      case QEvent::KeyPress:
      case QEvent::KeyRelease:
      case QEvent::ShortcutOverride:
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick: return true;
      default: break;
    }
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace wizard::window
