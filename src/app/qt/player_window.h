// TPlayerWindow: the player's Qt window. A borderless, maximised, black
// window with the control panel along its bottom edge; it hands every event
// to the player logic (TForm1) and shows what the logic asks for. Around the
// design it offers what players have taught people to expect: fullscreen,
// the frame fitted to the window, keys and a menu, and settings remembered
// between starts.
#pragma once

#include <array>
#include <memory>
#include <string>

#include <QImage>
#include <QMessageBox>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QTranslator>
#include <QWidget>

#include "app/player_form.h"
#include "app/qt/player_settings.h"
#include "app/qt/qt_music.h"

class QLabel;
class QMenu;
class QMessageBox;
class QPushButton;
class QScrollBar;

namespace lumora {

// What the window says while it shows nothing: how to open a show.
QString NoShowHint(bool english);

class TPlayerWindow : public QWidget, public TPlayerToolkit {
 public:
  explicit TPlayerWindow(const std::string& executablePath, QWidget* parent = nullptr);
  ~TPlayerWindow() override;

  TForm1& Form() { return *fForm; }
  // Start-up with the first command-line argument and the remembered
  // settings, then shown maximised or fullscreen.
  void Start(const std::string& argument);
  // The hand-off of a second start.
  void OpenHandedOver(const std::string& path);
  QWidget& Panel() { return *fPanel; }
  // Reads the patch and sends every frame drawn from now on to its lamps,
  // each show opened, handed over or played from a list bound to it as it
  // comes. A patch that cannot be read, a show it cannot drive and outputs
  // that fail are reported on stderr and in the window while the show plays
  // on.
  void AttachLights(const std::string& patchPath);

  void SetFullScreen(bool fullScreen);
  bool FullScreen() const { return fRemembered.FullScreen; }
  // Fitted: the frame scaled up or down to the room above the panel;
  // otherwise 1:1 where the design centres it.
  void SetFit(bool fit);
  bool Fit() const { return fRemembered.Fit; }
  // Where the frame on show is painted.
  QRect ShownRect() const;
  // The menu of a right-click on the picture.
  std::unique_ptr<QMenu> BuildMenu();
  // Export video… once the file is chosen: the show opened last written
  // as the player plays it, with a progress bar to cancel it by. Success
  // says where the file went; a cancel says nothing; a failure warns.
  void ExportTo(const QString& out);
  QMessageBox* ExportedBox() const { return fExportedBox.data(); }

  // TPlayerToolkit
  void SetCaption(TCaptionControl control, const std::string& text) override;
  void ShowScrollBar(TScrollBarId bar, const TScrollBarState& state) override;
  void SetTimer(bool enabled, std::int32_t intervalMs) override;
  void SetPanelVisible(bool visible) override;
  bool PanelVisible() const override;
  std::int32_t WindowWidth() const override { return width(); }
  std::int32_t WindowHeight() const override { return height(); }
  void Maximize() override;
  void BringToFront() override;
  void SetTitle(const std::string& title) override;
  void Refresh() override;
  void CopyFrame(const TBitmap32& frame, std::int32_t x, std::int32_t y) override;
  bool RunOpenDialog(std::string& path) override;
  // One box at a time, which does not hold up the caller: while it is open,
  // later messages join it (the last few are kept).
  void MessageBox(const std::string& caption, const std::string& text) override;
  QMessageBox* OpenMessageBox() const { return fMessageBox.data(); }
  void CloseWindow() override { close(); }
  void ShowOpened(const std::string& path) override;
  // Over the picture for a second.
  void ShowNotice(const std::string& text) override;
  QLabel* Notice() const { return fOsd; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void buildPanel();
  QPushButton* addButton(const char* name);
  QLabel* addLabel(const char* name);
  QScrollBar* addScrollBar(const char* name, TScrollBarId bar);
  void layoutPanel();
  void showNotice(const std::string& text);
  bool handleKey(int key);
  void toggleLanguage();
  void followLanguage();
  void applyRemembered();
  void remember();
  void openRecent(const QString& path);
  void exportVideo();
  void showExported(const QString& path);
  // A caption of the design in the panel's language.
  std::string caption(const char* design) const;
  void showAbout();

  QWidget* fPanel = nullptr;
  std::array<QWidget*, kCaptionControlCount> fCaptioned{};
  std::array<QScrollBar*, 2> fScrollBars{};
  QTimer fTimer;
  QTimer fPoll;
  QTimer fOsdTimer;
  QLabel* fOsd = nullptr;
  TQtMusicPlayer fMusic;
  std::unique_ptr<TForm1> fForm;
  TRemembered fRemembered;
  QTranslator fQtChinese;
  // What the user opened last: what Export video writes.
  std::string fOpenedPath;
  // The frame last copied onto the window, and where the design puts it;
  // its pixels stay allocated while the window is blank, for the next copy.
  QImage fShown;
  QPoint fShownAt;
  bool fShowing = false;
  // Said once, and replaced by what is said later.
  QMessageBox* fNotice = nullptr;
  QPointer<QMessageBox> fMessageBox;
  QPointer<QMessageBox> fExportedBox;
  QStringList fMessages;
};

}  // namespace lumora
