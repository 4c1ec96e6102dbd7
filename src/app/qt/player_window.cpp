#include "app/qt/player_window.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QLibraryInfo>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSignalBlocker>

#include <cstdio>

#include "app/qt/frame_painter.h"
#include "app/qt/light_settings.h"
#include "export/show_source.h"
#include "export/video_export.h"

namespace lumora {

namespace {

constexpr int kButtonTop = 8;
constexpr int kButtonHeight = 25;
constexpr int kLabelTop = 13;
constexpr int kLabelHeight = 15;
constexpr int kScrollTop = 12;
constexpr int kScrollHeight = 16;
constexpr double kVolumeStep = 0.1;
// Messages one box shows at most; older ones give way.
constexpr qsizetype kMaxBoxMessages = 8;
// How often the controller looks after what runs beside the show, and how
// long a notice stays over the picture.
constexpr int kPollMs = 50;
constexpr int kNoticeMs = 1000;

// The panel's controls left to right with the design's places and widths.
struct TPanelPlace {
  const char* Name;
  int Left;
  int Width;
};
constexpr TPanelPlace kPanelPlaces[] = {
    {"Open", 24, 75},      {"FrameLabel", 104, 100}, {"FrameBar", 208, 129}, {"SpeedLabel", 344, 86},
    {"SpeedBar", 432, 89}, {"PlayStop", 536, 75},    {"Hide", 613, 74},      {"Close", 688, 81},
    {"Language", 776, 81},
};

// The longest texts the two labels show, in both languages: 2^18 frames
// at most, 100 ms the slowest speed.
const char* const kLongestFrameLabels[] = {"current frame 262144", "当前帧数 262144    ", "当前帧    "};
const char* const kLongestSpeedLabels[] = {"Speed    100 ms", "当前速度 100 ms    ", "速度  30ms     "};

struct TMenuText {
  const char* English;
  const char* Chinese;
};

QString text(const TMenuText& t, bool english) { return QString::fromUtf8(english ? t.English : t.Chinese); }

// "description(patterns)|patterns" as Qt's filter: the description in the
// panel's language with its patterns once, and every file for executables
// carrying a movie.
QString qtFilter(const std::string& filter, bool english) {
  const std::size_t bar = filter.find('|');
  const std::string description = english ? "Light shows" : filter.substr(0, filter.find('('));
  QString patterns = QString::fromStdString(filter.substr(bar + 1));
  patterns.replace(';', ' ');
  return QString::fromStdString(description) + " (" + patterns + ");;" +
         text({"All files (*)", "所有文件 (*)"}, english);
}

// What the window says while it shows nothing.
constexpr TMenuText kNoShowHint = {"Open a show with Open or the right-click menu, or drop one here",
                                   "用“打开文件”或右键菜单打开节目，或把文件拖到这里"};

// Chosen by the user: not a fault to warn of.
class ECancelled : public std::runtime_error {
 public:
  ECancelled() : std::runtime_error("cancelled") {}
};

std::string localPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

// The width a label needs for the longest text it can show.
int labelWidth(const QFontMetrics& metrics, const std::string& name, int design) {
  int widest = design;
  auto widen = [&](const char* const (&texts)[3]) {
    for (const char* t : texts) widest = std::max(widest, metrics.horizontalAdvance(QString::fromUtf8(t)) + 4);
  };
  if (name == "FrameLabel") widen(kLongestFrameLabels);
  if (name == "SpeedLabel") widen(kLongestSpeedLabels);
  return widest;
}

// Drops are taken as copies, or links where the source offers no copy.
bool acceptAsCopyOrLink(QDropEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  if (urls.isEmpty() || !urls.front().isLocalFile()) return false;
  const Qt::DropActions offered = event->possibleActions();
  if (!(offered & (Qt::CopyAction | Qt::LinkAction))) return false;
  event->setDropAction(offered & Qt::CopyAction ? Qt::CopyAction : Qt::LinkAction);
  event->accept();
  return true;
}

}  // namespace

QString NoShowHint(bool english) { return text(kNoShowHint, english); }

TPlayerWindow::TPlayerWindow(const std::string& executablePath, QWidget* parent)
    : QWidget(parent), fForm(std::make_unique<TForm1>(*this, fMusic, executablePath)) {
  setWindowFlag(Qt::FramelessWindowHint);
  // The window paints its own black background; the panel keeps the
  // palette of the desktop.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::StrongFocus);
  setAcceptDrops(true);
  setWindowIcon(QIcon::fromTheme("lumora"));
  setWindowTitle(QString::fromStdString(WindowTitle("")));
  resize(kDesignWidth, kDesignHeight);
  buildPanel();
  fTimer.setTimerType(Qt::PreciseTimer);
  QObject::connect(&fTimer, &QTimer::timeout, this, [this] { fForm->OnTick(); });
  // Commands from the control service run here, in turn with the ticks.
  fForm->Control().Bus.SetWake([this] {
    QMetaObject::invokeMethod(this, [this] { fForm->Control().Bus.RunPending(); }, Qt::QueuedConnection);
  });
  QObject::connect(&fPoll, &QTimer::timeout, this, [this] { fForm->Poll(); });
  fPoll.start(kPollMs);
  fOsd = new QLabel(this);
  fOsd->setObjectName("Notice");
  fOsd->setStyleSheet("background: rgba(0, 0, 0, 170); color: white; padding: 10px 18px; border-radius: 8px;");
  fOsd->setAttribute(Qt::WA_TransparentForMouseEvents);
  fOsd->hide();
  fOsdTimer.setSingleShot(true);
  QObject::connect(&fOsdTimer, &QTimer::timeout, fOsd, &QLabel::hide);
  fMusic.OnFailed = [this] { fForm->Show().MusicFailed(); };
  fRemembered = LoadRemembered();
}

TPlayerWindow::~TPlayerWindow() {
  remember();
  fPoll.stop();
  fForm->FormDestroy();
}

void TPlayerWindow::Start(const std::string& argument) {
  fForm->FormCreate(argument);
  applyRemembered();
  Maximize();
}

void TPlayerWindow::OpenHandedOver(const std::string& path) {
  fForm->WMCopyData(path);
}

// The settings of the last start, over the design's start-up state.
void TPlayerWindow::applyRemembered() {
  // The design's first toggle after a start without a movie keeps Chinese.
  for (int i = 0; i < 2 && fRemembered.English != fForm->CaptionsEnglish(); ++i) fForm->LanguageClick();
  followLanguage();
  fForm->UserScroll(TScrollBarId::SpeedBar, fRemembered.Speed);
  fForm->SetVolume(fRemembered.Volume);
  fForm->SetMuted(fRemembered.Muted);
}

void TPlayerWindow::remember() {
  fRemembered.English = fForm->CaptionsEnglish();
  fRemembered.Speed = fForm->ScrollBar(TScrollBarId::SpeedBar).Position;
  fRemembered.Volume = fForm->Volume();
  fRemembered.Muted = fForm->Muted();
  SaveRemembered(fRemembered);
}

// Files that failed to open are not remembered.
void TPlayerWindow::ShowOpened(const std::string& path) {
  fOpenedPath = path;
  fRemembered.Recent = WithRecent(fRemembered.Recent, QString::fromStdString(path));
}

// Without a window manager (a bare X server) maximising does nothing, so the
// window also takes the screen's free area itself.
void TPlayerWindow::Maximize() {
  if (fRemembered.FullScreen) {
    showFullScreen();
    return;
  }
  showMaximized();
  if (const QScreen* shown = screen()) setGeometry(shown->availableGeometry());
}

void TPlayerWindow::BringToFront() {
  if (isMinimized() || !isVisible()) Maximize();
  raise();
  activateWindow();
}

void TPlayerWindow::SetTitle(const std::string& title) { setWindowTitle(QString::fromStdString(title)); }

void TPlayerWindow::SetFullScreen(bool fullScreen) {
  fRemembered.FullScreen = fullScreen;
  Maximize();
}

void TPlayerWindow::SetFit(bool fit) {
  fRemembered.Fit = fit;
  update();
}

QRect TPlayerWindow::ShownRect() const {
  if (!fRemembered.Fit) return QRect(fShownAt, fShown.size());
  const int panel = PanelVisible() ? kPanelHeight : 0;
  const TRect r = ShownFrameRect({fShown.width(), fShown.height()}, {0, 0, width(), height() - panel}, true);
  return QRect(r.Left, r.Top, r.Width(), r.Height());
}

void TPlayerWindow::AttachLights(const std::string& patchPath) {
  // Output reports come from the sender thread.
  auto report = [this](const std::string& text) {
    QMetaObject::invokeMethod(this, [this, text] { showNotice(text); }, Qt::QueuedConnection);
  };
  try {
    fForm->Control().Controller.AttachLights(output::ReadPatchDefinition(patchPath), StoredLightSettings(report));
  } catch (const std::exception& error) {
    showNotice(std::string(error.what()) + "; nothing is sent");
  }
}

void TPlayerWindow::ShowNotice(const std::string& text) {
  fOsd->setText(QString::fromStdString(text));
  fOsd->adjustSize();
  fOsd->move((width() - fOsd->width()) / 2, height() / 8);
  fOsd->raise();
  fOsd->show();
  fOsdTimer.start(kNoticeMs);
}

void TPlayerWindow::showNotice(const std::string& text) {
  std::fprintf(stderr, "lumora: %s\n", text.c_str());
  if (fNotice == nullptr) {
    fNotice = new QMessageBox(QMessageBox::Warning, QString(), QString(), QMessageBox::Ok, this);
    fNotice->setModal(false);
  }
  fNotice->setWindowTitle(QString::fromStdString(caption(kCaptionWarning)));
  fNotice->setText(QString::fromStdString(text));
  fNotice->show();
}

void TPlayerWindow::buildPanel() {
  fPanel = new QWidget(this);
  fPanel->setObjectName("Panel");
  fPanel->setAutoFillBackground(true);
  auto at = [](TCaptionControl c) { return static_cast<std::size_t>(c); };
  fCaptioned[at(TCaptionControl::Open)] = addButton("Open");
  fCaptioned[at(TCaptionControl::FrameLabel)] = addLabel("FrameLabel");
  fScrollBars[0] = addScrollBar("FrameBar", TScrollBarId::FrameBar);
  fCaptioned[at(TCaptionControl::SpeedLabel)] = addLabel("SpeedLabel");
  fScrollBars[1] = addScrollBar("SpeedBar", TScrollBarId::SpeedBar);
  fCaptioned[at(TCaptionControl::PlayStop)] = addButton("PlayStop");
  fCaptioned[at(TCaptionControl::Hide)] = addButton("Hide");
  fCaptioned[at(TCaptionControl::Close)] = addButton("Close");
  fCaptioned[at(TCaptionControl::Language)] = addButton("Language");
  auto click = [this](TCaptionControl c, auto handler) {
    QObject::connect(static_cast<QPushButton*>(fCaptioned[static_cast<std::size_t>(c)]), &QPushButton::clicked, this,
                     handler);
  };
  click(TCaptionControl::Open, [this] { fForm->OpenClick(); });
  click(TCaptionControl::PlayStop, [this] { fForm->PlayStopClick(); });
  click(TCaptionControl::Hide, [this] { fForm->HideClick(); });
  click(TCaptionControl::Close, [this] { fForm->CloseClick(); });
  click(TCaptionControl::Language, [this] { toggleLanguage(); });
  for (int i = 0; i < kCaptionControlCount; ++i) {
    SetCaption(static_cast<TCaptionControl>(i), LayoutCaption(static_cast<TCaptionControl>(i)));
  }
  layoutPanel();
}

// The design's places, except that a label the font needs wider takes the
// room it needs and pushes the controls after it to the right.
void TPlayerWindow::layoutPanel() {
  const QFontMetrics metrics = fPanel->fontMetrics();
  int shift = 0;
  for (const TPanelPlace& place : kPanelPlaces) {
    auto* widget = fPanel->findChild<QWidget*>(place.Name);
    const int width = labelWidth(metrics, place.Name, place.Width);
    const bool label = qobject_cast<QLabel*>(widget) != nullptr;
    const bool bar = qobject_cast<QScrollBar*>(widget) != nullptr;
    widget->setGeometry(place.Left + shift, label ? kLabelTop : bar ? kScrollTop : kButtonTop, width,
                        label ? kLabelHeight : bar ? kScrollHeight : kButtonHeight);
    shift += width - place.Width;
  }
}

// Panel controls never take the keyboard, so that the window's keys work.
QPushButton* TPlayerWindow::addButton(const char* name) {
  auto* button = new QPushButton(fPanel);
  button->setObjectName(name);
  button->setFocusPolicy(Qt::NoFocus);
  return button;
}

QLabel* TPlayerWindow::addLabel(const char* name) {
  auto* label = new QLabel(fPanel);
  label->setObjectName(name);
  return label;
}

QScrollBar* TPlayerWindow::addScrollBar(const char* name, TScrollBarId bar) {
  auto* scroll = new QScrollBar(Qt::Horizontal, fPanel);
  scroll->setObjectName(name);
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

void TPlayerWindow::SetPanelVisible(bool visible) {
  fPanel->setVisible(visible);
  update();
}

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
  const QString chosen =
      QFileDialog::getOpenFileName(this, QString(), fRemembered.Folder, qtFilter(kOpenDialogFilter, fForm->CaptionsEnglish()));
  if (chosen.isEmpty()) return false;
  path = localPath(chosen);
  fRemembered.Folder = QFileInfo(chosen).absolutePath();
  return true;
}

// A box that ran its own event loop would let the next hand-off or failed
// play-list entry open another inside it, and so on without end; this one
// is shown and left to the user while the window plays on. A box over a
// hidden or minimised window is painted blank by some window managers, and
// the window must still be shown when the box closes.
void TPlayerWindow::MessageBox(const std::string& caption, const std::string& text) {
  const QString message = QString::fromStdString(text);
  if (fMessageBox != nullptr && fMessageBox->isVisible()) {
    if (fMessages.isEmpty() || fMessages.back() != message) fMessages.push_back(message);
    while (fMessages.size() > kMaxBoxMessages) fMessages.pop_front();
    fMessageBox->setText(fMessages.join('\n'));
    return;
  }
  if (!isVisible() || isMinimized()) Maximize();
  fMessages = {message};
  fMessageBox = new QMessageBox(QMessageBox::Warning, QString::fromStdString(caption), message, QMessageBox::Ok, this);
  QObject::connect(fMessageBox, &QDialog::finished, this, [this] { BringToFront(); });
  QObject::connect(fMessageBox, &QDialog::finished, fMessageBox, &QObject::deleteLater);
  fMessageBox->open();
}

void TPlayerWindow::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::black);
  if (!fForm->Show().Showing()) {
    painter.setPen(Qt::gray);
    const int panel = PanelVisible() ? kPanelHeight : 0;
    painter.drawText(QRect(0, 0, width(), height() - panel), Qt::AlignCenter | Qt::TextWordWrap,
                     NoShowHint(fForm->CaptionsEnglish()));
    return;
  }
  if (!fShowing) return;
  const QRect target = ShownRect();
  if (target.size() == fShown.size()) {
    painter.drawImage(target.topLeft(), fShown);
    return;
  }
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(target, fShown);
}

// The panel follows the bottom edge; a frame on show stays centred.
void TPlayerWindow::resizeEvent(QResizeEvent*) {
  fPanel->setGeometry(0, height() - kPanelHeight, width(), kPanelHeight);
  const bool shown = fShowing;
  fForm->FormResize();
  if (shown) CopyFrame(fForm->Show().FrameBitmap(), fForm->OffsetX(), fForm->OffsetY());
}

void TPlayerWindow::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) fForm->FormMouseDown();
}

void TPlayerWindow::mouseDoubleClickEvent(QMouseEvent*) { SetFullScreen(!FullScreen()); }

void TPlayerWindow::contextMenuEvent(QContextMenuEvent* event) { BuildMenu()->exec(event->globalPos()); }

bool TPlayerWindow::handleKey(int key) {
  switch (key) {
    case Qt::Key_Space: fForm->PlayStopClick(); break;
    case Qt::Key_Left: fForm->StepFrame(-1); break;
    case Qt::Key_Right: fForm->StepFrame(1); break;
    case Qt::Key_Home: fForm->FirstFrame(); break;
    case Qt::Key_End: fForm->LastFrame(); break;
    case Qt::Key_PageUp: case Qt::Key_P: fForm->PreviousEntry(); break;
    case Qt::Key_PageDown: case Qt::Key_N: fForm->NextEntry(); break;
    case Qt::Key_BracketLeft: fForm->Slower(); break;
    case Qt::Key_BracketRight: fForm->Faster(); break;
    case Qt::Key_M: fForm->SetMuted(!fForm->Muted()); break;
    case Qt::Key_9: fForm->SetVolume(fForm->Volume() - kVolumeStep); break;
    case Qt::Key_0: fForm->SetVolume(fForm->Volume() + kVolumeStep); break;
    case Qt::Key_F: case Qt::Key_F11: SetFullScreen(!FullScreen()); break;
    case Qt::Key_Z: SetFit(!Fit()); break;
    case Qt::Key_Escape: case Qt::Key_Q: close(); break;
    default: return false;
  }
  return true;
}

void TPlayerWindow::keyPressEvent(QKeyEvent* event) {
  if (!handleKey(event->key())) {
    QWidget::keyPressEvent(event);
    return;
  }
  event->accept();
}

void TPlayerWindow::toggleLanguage() {
  fForm->LanguageClick();
  followLanguage();
}

// Qt's own dialogs speak the panel's language.
void TPlayerWindow::followLanguage() {
  if (fForm->CaptionsEnglish()) {
    QCoreApplication::removeTranslator(&fQtChinese);
  } else if (fQtChinese.isEmpty() &&
             fQtChinese.load("qtbase_zh_CN", QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QCoreApplication::installTranslator(&fQtChinese);
  }
}

std::unique_ptr<QMenu> TPlayerWindow::BuildMenu() {
  const bool en = fForm->CaptionsEnglish();
  auto menu = std::make_unique<QMenu>(this);
  menu->addAction(text({"Open…", "打开…"}, en), this, [this] { fForm->OpenClick(); });
  QMenu* recent = menu->addMenu(text({"Recent files", "最近的文件"}, en));
  for (const QString& path : fRemembered.Recent) {
    recent->addAction(path, this, [this, path] { openRecent(path); });
  }
  recent->setEnabled(!fRemembered.Recent.isEmpty());
  menu->addAction(fForm->Show().Running() ? text({"Stop", "停止"}, en) : text({"Play", "播放"}, en), this,
                  [this] { fForm->PlayStopClick(); });
  const bool list = fForm->Show().PlayListActive();
  menu->addAction(text({"Previous entry", "上一个"}, en), this, [this] { fForm->PreviousEntry(); })->setEnabled(list);
  menu->addAction(text({"Next entry", "下一个"}, en), this, [this] { fForm->NextEntry(); })->setEnabled(list);
  menu->addSeparator();
  QAction* full = menu->addAction(text({"Fullscreen", "全屏"}, en), this, [this] { SetFullScreen(!FullScreen()); });
  full->setCheckable(true);
  full->setChecked(FullScreen());
  QAction* fit = menu->addAction(text({"Fit to the window", "适应窗口"}, en), this, [this] { SetFit(!Fit()); });
  fit->setCheckable(true);
  fit->setChecked(Fit());
  menu->addAction(text({"中文", "English"}, en), this, [this] { toggleLanguage(); });
  menu->addSeparator();
  menu->addAction(text({"Export video…", "导出视频…"}, en), this, [this] { exportVideo(); })
      ->setEnabled(!fOpenedPath.empty());
  menu->addAction(text({"About", "关于"}, en), this, [this] { showAbout(); });
  menu->addAction(text({"Exit", "退出"}, en), this, [this] { close(); });
  return menu;
}

void TPlayerWindow::openRecent(const QString& path) { fForm->OpenDropped(localPath(path)); }

// The show opened last, written as the player plays it; the window keeps
// playing its own copy afterwards.
void TPlayerWindow::exportVideo() {
  const bool en = fForm->CaptionsEnglish();
  const QFileInfo show(QString::fromStdString(fOpenedPath));
  const QString out = QFileDialog::getSaveFileName(
      this, text({"Export video", "导出视频"}, en), show.absolutePath() + "/" + show.completeBaseName() + ".mp4",
      "MP4 (*.mp4);;Matroska (*.mkv);;WebM (*.webm);;GIF (*.gif);;APNG (*.apng)");
  if (!out.isEmpty()) ExportTo(out);
}

void TPlayerWindow::ExportTo(const QString& out) {
  const bool en = fForm->CaptionsEnglish();
  const bool running = fForm->Show().Running();
  fForm->Show().SetRunning(false);
  QProgressDialog progress(text({"Exporting…", "正在导出…"}, en), text({"Cancel", "取消"}, en), 0, 100, this);
  progress.setWindowModality(Qt::WindowModal);
  // Shown at once, so that even a short export can be cancelled.
  progress.setMinimumDuration(0);
  try {
    TShowPassOptions options;
    options.ExecutablePath = fForm->Show().ExecutablePath();
    options.RoomWidth = width();
    options.RoomHeight = height();
    options.ExtractMusic = true;
    TShowPass pass(fOpenedPath, options);
    TShowFrameSource source(pass);
    TExportOptions export_;
    // Music left out is said on stderr; the video is made all the same.
    const auto warn = [](const std::string& text) { std::fprintf(stderr, "lumora: %s\n", text.c_str()); };
    for (const std::string& note : pass.MusicNotes()) warn(note);
    export_.OnWarning = warn;
    export_.MusicPath = pass.MusicPath();
    export_.OnProgress = [&progress](std::int64_t done, std::int64_t total) {
      progress.setValue(static_cast<int>(100 * done / std::max<std::int64_t>(total, 1)));
      if (progress.wasCanceled()) throw ECancelled();
    };
    ExportVideo(source, localPath(out), export_);
    progress.close();
    showExported(out);
  } catch (const ECancelled&) {
  } catch (const std::exception& error) {
    MessageBox(caption(kCaptionWarning), error.what());
  }
  fForm->Show().SetRunning(running);
}

void TPlayerWindow::showExported(const QString& path) {
  const bool en = fForm->CaptionsEnglish();
  std::fprintf(stderr, "lumora: the video was written to %s\n", localPath(path).c_str());
  fExportedBox = new QMessageBox(QMessageBox::Information, text({"Export video", "导出视频"}, en),
                                 text({"The video was written to", "视频已保存到"}, en) + "\n" + path,
                                 QMessageBox::Ok, this);
  fExportedBox->setAttribute(Qt::WA_DeleteOnClose);
  fExportedBox->open();
}

std::string TPlayerWindow::caption(const char* design) const {
  return fForm->CaptionsEnglish() ? EnglishMessage(design) : design;
}

void TPlayerWindow::showAbout() {
  QMessageBox::about(this, "Lumora Stage",
                     QString("Lumora Stage %1\nPlays light shows: neon outlines, lamp strips, LED matrices and "
                             "swinging lights coloured frame by frame from grid animations.")
                         .arg(LUMORA_VERSION));
}

// A file manager may delete the original of a file it sees moved, so drops
// are taken as copies or links only.
void TPlayerWindow::dragEnterEvent(QDragEnterEvent* event) { acceptAsCopyOrLink(event); }

void TPlayerWindow::dragMoveEvent(QDragMoveEvent* event) { acceptAsCopyOrLink(event); }

void TPlayerWindow::dropEvent(QDropEvent* event) {
  if (!acceptAsCopyOrLink(event)) return;
  fForm->OpenDropped(localPath(event->mimeData()->urls().front().toLocalFile()));
}

}  // namespace lumora
