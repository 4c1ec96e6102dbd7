// TPlayerWindow: the player's Qt window. A borderless, maximised, black
// window with the control panel along its bottom edge; it hands every
// event to the player logic (TForm1) and shows what the logic asks for.
#pragma once

#include <array>
#include <memory>
#include <string>

#include <QImage>
#include <QMessageBox>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include "app/player_form.h"
#include "app/qt/qt_music.h"

class QLabel;
class QPushButton;
class QScrollBar;

namespace lumora {

class TPlayerWindow : public QWidget, public TPlayerToolkit {
 public:
  explicit TPlayerWindow(const std::string& executablePath, QWidget* parent = nullptr);
  ~TPlayerWindow() override;

  TForm1& Form() { return *fForm; }
  // Start-up with the first command-line argument, then shown maximised.
  void Start(const std::string& argument);
  QWidget& Panel() { return *fPanel; }

  // TPlayerToolkit
  void SetCaption(TCaptionControl control, const std::string& text) override;
  void ShowScrollBar(TScrollBarId bar, const TScrollBarState& state) override;
  void SetTimer(bool enabled, std::int32_t intervalMs) override;
  void SetPanelVisible(bool visible) override;
  bool PanelVisible() const override;
  std::int32_t WindowWidth() const override { return width(); }
  std::int32_t WindowHeight() const override { return height(); }
  void Maximize() override;
  void Minimize() override { showMinimized(); }
  void Refresh() override;
  void CopyFrame(const TBitmap32& frame, std::int32_t x, std::int32_t y) override;
  bool RunOpenDialog(std::string& path) override;
  // One box at a time, which does not hold up the caller: while it is open,
  // later messages join it (the last few are kept).
  void MessageBox(const std::string& caption, const std::string& text) override;
  QMessageBox* OpenMessageBox() const { return fMessageBox.data(); }
  void CloseWindow() override { close(); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void buildPanel();
  QPushButton* addButton(const char* name, int left, int width);
  QLabel* addLabel(const char* name, int left, int width);
  QScrollBar* addScrollBar(const char* name, int left, int width, TScrollBarId bar);

  QWidget* fPanel = nullptr;
  std::array<QWidget*, kCaptionControlCount> fCaptioned{};
  std::array<QScrollBar*, 2> fScrollBars{};
  QTimer fTimer;
  TQtMusicPlayer fMusic;
  std::unique_ptr<TForm1> fForm;
  // The frame last copied onto the window, and where; its pixels stay
  // allocated while the window is blank, for the next copy.
  QImage fShown;
  QPoint fShownAt;
  bool fShowing = false;
  QPointer<QMessageBox> fMessageBox;
  QStringList fMessages;
};

}  // namespace lumora
