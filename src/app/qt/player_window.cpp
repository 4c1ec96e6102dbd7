#include "app/qt/player_window.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSignalBlocker>

#include "app/qt/frame_painter.h"

namespace lumora {

namespace {

constexpr int kButtonTop = 8;
constexpr int kButtonHeight = 25;
constexpr int kLabelTop = 13;
constexpr int kScrollTop = 12;
constexpr int kScrollHeight = 16;
// Messages one box shows at most; older ones give way.
constexpr qsizetype kMaxBoxMessages = 8;

// "description|patterns;…" as Qt's "description (patterns …)".
QString qtFilter(const std::string& filter) {
  const std::size_t bar = filter.find('|');
  QString patterns = QString::fromStdString(filter.substr(bar + 1));
  patterns.replace(';', ' ');
  return QString::fromStdString(filter.substr(0, bar)) + " (" + patterns + ")";
}

std::string localPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

}  // namespace

TPlayerWindow::TPlayerWindow(const std::string& executablePath, QWidget* parent)
    : QWidget(parent), fForm(std::make_unique<TForm1>(*this, fMusic, executablePath)) {
  setWindowFlag(Qt::FramelessWindowHint);
  // The window paints its own black background; the panel keeps the
  // palette of the desktop.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::StrongFocus);
  setAcceptDrops(true);
  resize(kDesignWidth, kDesignHeight);
  buildPanel();
  fTimer.setTimerType(Qt::PreciseTimer);
  QObject::connect(&fTimer, &QTimer::timeout, this, [this] { fForm->OnTick(); });
  fMusic.OnFailed = [this] { fForm->Show().MusicFailed(); };
}

TPlayerWindow::~TPlayerWindow() { fForm->FormDestroy(); }

void TPlayerWindow::Start(const std::string& argument) {
  fForm->FormCreate(argument);
  Maximize();
}

// Without a window manager (a bare X server) maximising does nothing, so the
// window also takes the screen's free area itself.
void TPlayerWindow::Maximize() {
  showMaximized();
  if (const QScreen* shown = screen()) setGeometry(shown->availableGeometry());
}

void TPlayerWindow::buildPanel() {
  fPanel = new QWidget(this);
  fPanel->setObjectName("Panel");
  fPanel->setAutoFillBackground(true);
  auto at = [](TCaptionControl c) { return static_cast<std::size_t>(c); };
  fCaptioned[at(TCaptionControl::Open)] = addButton("Open", 24, 75);
  fCaptioned[at(TCaptionControl::FrameLabel)] = addLabel("FrameLabel", 104, 100);
  fScrollBars[0] = addScrollBar("FrameBar", 208, 129, TScrollBarId::FrameBar);
  fCaptioned[at(TCaptionControl::SpeedLabel)] = addLabel("SpeedLabel", 344, 86);
  fScrollBars[1] = addScrollBar("SpeedBar", 432, 89, TScrollBarId::SpeedBar);
  fCaptioned[at(TCaptionControl::PlayStop)] = addButton("PlayStop", 536, 75);
  fCaptioned[at(TCaptionControl::Hide)] = addButton("Hide", 613, 74);
  fCaptioned[at(TCaptionControl::Close)] = addButton("Close", 688, 81);
  fCaptioned[at(TCaptionControl::Language)] = addButton("Language", 776, 81);
  auto click = [this](TCaptionControl c, void (TForm1::*handler)()) {
    QObject::connect(static_cast<QPushButton*>(fCaptioned[static_cast<std::size_t>(c)]), &QPushButton::clicked, this,
                     [this, handler] { (fForm.get()->*handler)(); });
  };
  click(TCaptionControl::Open, &TForm1::OpenClick);
  click(TCaptionControl::PlayStop, &TForm1::PlayStopClick);
  click(TCaptionControl::Hide, &TForm1::HideClick);
  click(TCaptionControl::Close, &TForm1::CloseClick);
  click(TCaptionControl::Language, &TForm1::LanguageClick);
  for (int i = 0; i < kCaptionControlCount; ++i) {
    SetCaption(static_cast<TCaptionControl>(i), LayoutCaption(static_cast<TCaptionControl>(i)));
  }
}

// Panel controls never take the keyboard, so that the window's keys work.
QPushButton* TPlayerWindow::addButton(const char* name, int left, int width) {
  auto* button = new QPushButton(fPanel);
  button->setObjectName(name);
  button->setGeometry(left, kButtonTop, width, kButtonHeight);
  button->setFocusPolicy(Qt::NoFocus);
  return button;
}

QLabel* TPlayerWindow::addLabel(const char* name, int left, int width) {
  auto* label = new QLabel(fPanel);
  label->setObjectName(name);
  label->setGeometry(left, kLabelTop, width, 15);
  return label;
}

QScrollBar* TPlayerWindow::addScrollBar(const char* name, int left, int width, TScrollBarId bar) {
  auto* scroll = new QScrollBar(Qt::Horizontal, fPanel);
  scroll->setObjectName(name);
  scroll->setGeometry(left, kScrollTop, width, kScrollHeight);
  scroll->setPageStep(0);
  scroll->setFocusPolicy(Qt::NoFocus);
  QObject::connect(scroll, &QScrollBar::valueChanged, this, [this, bar](int value) { fForm->UserScroll(bar, value); });
  return scroll;
}

void TPlayerWindow::SetCaption(TCaptionControl control, const std::string& text) {
  QWidget* widget = fCaptioned[static_cast<std::size_t>(control)];
  const QString caption = QString::fromStdString(text);
  if (auto* label = qobject_cast<QLabel*>(widget)) {
    label->setText(caption);
  } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
    button->setText(caption);
  }
}

void TPlayerWindow::ShowScrollBar(TScrollBarId bar, const TScrollBarState& state) {
  QScrollBar* scroll = fScrollBars[bar == TScrollBarId::FrameBar ? 0 : 1];
  const QSignalBlocker blocker(scroll);
  scroll->setRange(state.Min, state.Max);
  scroll->setValue(state.Position);
}

void TPlayerWindow::SetTimer(bool enabled, std::int32_t intervalMs) {
  fTimer.setInterval(intervalMs);
  if (!enabled) {
    fTimer.stop();
  } else if (!fTimer.isActive()) {
    fTimer.start();
  }
}

void TPlayerWindow::SetPanelVisible(bool visible) { fPanel->setVisible(visible); }

bool TPlayerWindow::PanelVisible() const { return !fPanel->isHidden(); }

void TPlayerWindow::Refresh() {
  fShowing = false;
  update();
}

void TPlayerWindow::CopyFrame(const TBitmap32& frame, std::int32_t x, std::int32_t y) {
  FillFrameImage(frame, fShown);
  fShowing = !fShown.isNull();
  fShownAt = QPoint(x, y);
  update();
}

bool TPlayerWindow::RunOpenDialog(std::string& path) {
  const QString chosen = QFileDialog::getOpenFileName(this, QString(), QString(), qtFilter(kOpenDialogFilter));
  if (chosen.isEmpty()) return false;
  path = localPath(chosen);
  return true;
}

// A box that ran its own event loop would let the next hand-off or failed
// play-list entry open another inside it, and so on without end; this one
// is shown and left to the user while the window plays on.
void TPlayerWindow::MessageBox(const std::string& caption, const std::string& text) {
  const QString message = QString::fromStdString(text);
  if (fMessageBox != nullptr && fMessageBox->isVisible()) {
    if (fMessages.isEmpty() || fMessages.back() != message) fMessages.push_back(message);
    while (fMessages.size() > kMaxBoxMessages) fMessages.pop_front();
    fMessageBox->setText(fMessages.join('\n'));
    return;
  }
  fMessages = {message};
  fMessageBox = new QMessageBox(QMessageBox::Warning, QString::fromStdString(caption), message, QMessageBox::Ok, this);
  QObject::connect(fMessageBox, &QDialog::finished, fMessageBox, &QObject::deleteLater);
  fMessageBox->open();
}

void TPlayerWindow::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::black);
  if (fShowing) painter.drawImage(fShownAt, fShown);
}

// The panel follows the bottom edge; a frame on show stays centred.
void TPlayerWindow::resizeEvent(QResizeEvent*) {
  fPanel->setGeometry(0, height() - kPanelHeight, width(), kPanelHeight);
  const bool shown = fShowing;
  fForm->FormResize();
  if (shown) CopyFrame(fForm->Show().FrameBitmap(), fForm->OffsetX(), fForm->OffsetY());
}

void TPlayerWindow::mousePressEvent(QMouseEvent*) { fForm->FormMouseDown(); }

void TPlayerWindow::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Space: fForm->PlayStopClick(); break;
    case Qt::Key_Left: fForm->StepFrame(-1); break;
    case Qt::Key_Right: fForm->StepFrame(1); break;
    case Qt::Key_Escape: close(); break;
    default: QWidget::keyPressEvent(event); return;
  }
  event->accept();
}

void TPlayerWindow::dragEnterEvent(QDragEnterEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  if (!urls.isEmpty() && urls.front().isLocalFile()) event->acceptProposedAction();
}

void TPlayerWindow::dropEvent(QDropEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  if (urls.isEmpty() || !urls.front().isLocalFile()) return;
  event->acceptProposedAction();
  fForm->OpenDropped(localPath(urls.front().toLocalFile()));
}

}  // namespace lumora
