#include "app/qt/player_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLocalSocket>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>
#include <QMenu>
#include <QPushButton>
#include <QTimer>

#include <functional>
#include <map>
#include <memory>

#include "app/program_entry.h"
#include "app/qt/frame_painter.h"
#include "app/qt/single_instance.h"
#include "app/qt/test_application.h"
#include "output/output_fixtures.h"
#include "support/player_fakes.h"

namespace lumora {
namespace {

using test::tolBytes;

using test::application;

// Runs the event loop until the condition holds or the time is up.
bool waitFor(const std::function<bool()>& condition, int ms = 5000) {
  QElapsedTimer clock;
  clock.start();
  while (!condition()) {
    if (clock.elapsed() > ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

TWinColor cellColour(std::int32_t f, std::int32_t r, std::int32_t c) {
  return 0x000002 * (10 + f) + 0x000200 * (r + 1) + 0x020000 * (c + 1);
}

QRgb shownColour(TWinColor c) { return Color32FromWinColor(c); }

std::string serverName(const char* tag) {
  return std::string("lumora_test_") + tag + "_" + std::to_string(QCoreApplication::applicationPid());
}

TEST(PlayerWindow, PlaysHandsOverTogglesAndCloses) {
  application();
  const test::TFreshSettings settings;
  test::TPlayerDir dir("qt_player");
  const std::string first = dir.Write("first.tol", tolBytes(2, 3, 20, 10, 4, cellColour));
  const std::string second = dir.Write("second.tol", tolBytes(1, 1, 30, 30, 3, cellColour));

  auto window = std::make_unique<TPlayerWindow>(dir.Executable());
  window->SetFit(false);
  TInstanceServer server;
  server.OnPath = [&window](const std::string& path) { window->OpenHandedOver(path); };
  ASSERT_TRUE(server.Listen(serverName("e2e")));
  window->Start(first);
  TForm1& form = window->Form();
  ASSERT_TRUE(waitFor([&] { return form.ScrollBar(TScrollBarId::FrameBar).Position == 3; }))
      << "the timer plays the grid movie";
  window->findChild<QPushButton*>("PlayStop")->click();
  ASSERT_FALSE(form.Show().Running());
  window->repaint();

  // Cells of 20 × 10 fit: the bitmap is 63 × 22, centred in the window.
  const TBitmap32& frame = form.Show().FrameBitmap();
  ASSERT_EQ(frame.Width(), 63);
  ASSERT_EQ(frame.Height(), 22);
  EXPECT_EQ(form.OffsetX(), (window->width() - 63) / 2);
  EXPECT_EQ(form.OffsetY(), (window->height() - 22) / 2);
  const QImage shot = window->grab().toImage();
  const int shown = form.ScrollBar(TScrollBarId::FrameBar).Position - 1;
  for (int r = 0; r < 2; ++r) {
    for (int c = 0; c < 3; ++c) {
      const QPoint at(form.OffsetX() + c * 21 + 5, form.OffsetY() + r * 11 + 5);
      EXPECT_EQ(shot.pixel(at), shownColour(cellColour(shown, r, c))) << "cell " << r << ", " << c;
      EXPECT_EQ(shot.pixel(at), FrameImage(frame).pixel(c * 21 + 5, r * 11 + 5));
    }
  }
  EXPECT_EQ(shot.pixel(form.OffsetX() - 1, form.OffsetY()), 0xFF000000u) << "black around the frame";
  EXPECT_EQ(window->findChild<QPushButton*>("Open")->text(), "打开文件");
  EXPECT_EQ(window->findChild<QLabel*>("FrameLabel")->text(), QString::fromUtf8("当前帧数 3    "));

  ASSERT_TRUE(HandToRunningInstance(serverName("e2e"), second));
  ASSERT_TRUE(waitFor([&] { return form.Show().FrameBitmap().Width() == 31; })) << "the second start's movie loads";
  EXPECT_TRUE(form.Show().Running());
  EXPECT_TRUE(window->isMaximized());

  window->findChild<QPushButton*>("Language")->click();
  EXPECT_EQ(window->findChild<QPushButton*>("Open")->text(), "Open");
  EXPECT_EQ(window->findChild<QPushButton*>("Language")->text(), QString::fromUtf8("中文"));
  EXPECT_EQ(form.EnglishMode(), 1);

  window->findChild<QPushButton*>("Hide")->click();
  EXPECT_FALSE(window->Panel().isVisible());
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QApplication::sendEvent(window.get(), &press);
  EXPECT_TRUE(window->Panel().isVisible());

  window->findChild<QPushButton*>("Close")->click();
  EXPECT_FALSE(window->isVisible());
  window.reset();
}

TEST(PlayerWindow, InstanceServerIgnoresMalformedRecords) {
  application();
  TInstanceServer server;
  std::vector<std::string> paths;
  int contacts = 0;
  server.OnPath = [&](const std::string& path) { paths.push_back(path); };
  server.OnContact = [&] { ++contacts; };
  const std::string name = serverName("records");
  ASSERT_TRUE(server.Listen(name));
  auto send = [&](const QByteArray& bytes) {
    QLocalSocket socket;
    socket.connectToServer(QString::fromStdString(name));
    ASSERT_TRUE(socket.waitForConnected(1000));
    socket.write(bytes);
    socket.waitForBytesWritten(1000);
    socket.disconnectFromServer();
  };
  std::vector<std::uint8_t> record = EncodeCopyData("show.ctl");
  QByteArray good(reinterpret_cast<const char*>(record.data()), static_cast<qsizetype>(record.size()));
  send(good.left(good.size() - 1));
  send(good + QByteArray(1, '\0'));
  send(QByteArray(3, 'x'));
  send(good);
  ASSERT_TRUE(waitFor([&] { return contacts == 4; }));
  EXPECT_EQ(paths, (std::vector<std::string>{"show.ctl"}));

  EXPECT_TRUE(HandToRunningInstance(name, "")) << "found: only brought to the front";
  EXPECT_TRUE(HandToRunningInstance(name, "other.exe"));
  ASSERT_TRUE(waitFor([&] { return contacts == 6; }));
  EXPECT_EQ(paths.size(), 1u);
  EXPECT_FALSE(HandToRunningInstance(serverName("nobody"), "show.ctl", 200)) << "no player runs";
}

// Each failed hand-off used to open a modal box inside the box before,
// until the stack overflowed. Now paths are taken one at a time, at most a
// queue's worth are kept, and their messages share one box that does not
// hold the window up; a FIFO among them is refused without waiting.
TEST(PlayerWindow, AFloodOfFailingHandOffsShowsOneBoxAtATime) {
  application();
  test::TPlayerDir dir("qt_flood");
  TPlayerWindow window(dir.Executable());
  TInstanceServer server;
  int handled = 0;
  server.OnPath = [&](const std::string& path) {
    ++handled;
    window.Form().WMCopyData(path);
  };
  const std::string name = serverName("flood");
  ASSERT_TRUE(server.Listen(name));
  window.Start("");
  ASSERT_TRUE(HandToRunningInstance(name, dir.Fifo("fifo.ctl"), 1000));
  for (int i = 0; i < 300; ++i) {
    ASSERT_TRUE(HandToRunningInstance(name, dir.Path("missing" + std::to_string(i) + ".ctl"), 1000));
    QCoreApplication::processEvents();
  }
  ASSERT_TRUE(waitFor([&] { return server.Queue().Waiting() == 0 && server.Queue().Reading() == 0; }));
  EXPECT_GT(handled, 0);
  EXPECT_EQ(static_cast<std::uint64_t>(handled) + server.Queue().Dropped(), 301u);
  EXPECT_EQ(window.findChildren<QMessageBox*>().size(), 1) << "one box, whatever failed";
  ASSERT_NE(window.OpenMessageBox(), nullptr);
  const QString shown = window.OpenMessageBox()->text();
  EXPECT_TRUE(shown.startsWith(QString::fromUtf8(kTextBadFile))) << shown.toStdString();
  EXPECT_LE(shown.count('\n'), 2 * 8) << "the latest eight messages, each with its file";
  window.OpenMessageBox()->accept();
  window.MessageBox(kCaptionWarning, "next");
  ASSERT_NE(window.OpenMessageBox(), nullptr);
  EXPECT_EQ(window.OpenMessageBox()->text(), "next") << "a later message opens a box of its own";
  window.OpenMessageBox()->accept();
}

// Qt delivers drops only during a drag; the test hands one over directly.
class TDropWindow : public TPlayerWindow {
 public:
  using TPlayerWindow::TPlayerWindow;
  using TPlayerWindow::dropEvent;
};

TEST(PlayerWindow, KeysAndDroppedFiles) {
  application();
  const test::TFreshSettings settings;
  test::TPlayerDir dir("qt_keys");
  const std::string first = dir.Write("first.tol", tolBytes(1, 2, 10, 10, 6, cellColour));
  const std::string dropped = dir.Write("dropped.tol", tolBytes(1, 1, 40, 40, 3, cellColour));
  TDropWindow window(dir.Executable());
  window.Start(first);
  TForm1& form = window.Form();
  auto key = [&](int code) {
    QKeyEvent press(QEvent::KeyPress, code, Qt::NoModifier);
    QApplication::sendEvent(&window, &press);
  };
  ASSERT_TRUE(form.Show().Running());
  key(Qt::Key_Space);
  EXPECT_FALSE(form.Show().Running()) << "Space stops";
  EXPECT_EQ(window.findChild<QPushButton*>("PlayStop")->text(), QString::fromUtf8("播放"));
  form.UserScroll(TScrollBarId::FrameBar, 2);
  key(Qt::Key_Right);
  EXPECT_EQ(form.ScrollBar(TScrollBarId::FrameBar).Position, 3);
  key(Qt::Key_Left);
  key(Qt::Key_Left);
  EXPECT_EQ(form.ScrollBar(TScrollBarId::FrameBar).Position, 1);
  key(Qt::Key_Space);
  EXPECT_TRUE(form.Show().Running()) << "Space plays";

  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(QString::fromStdString(dropped))});
  QDropEvent moved(QPointF(10, 10), Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
  window.dropEvent(&moved);
  EXPECT_FALSE(moved.isAccepted()) << "a file manager could delete the original of a move";
  EXPECT_NE(form.Show().FrameBitmap().Width(), 41);
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
  window.dropEvent(&drop);
  EXPECT_EQ(drop.dropAction(), Qt::CopyAction);
  EXPECT_EQ(form.Show().FrameBitmap().Width(), 41) << "the dropped movie is open";
  EXPECT_EQ(form.EnglishMode(), 0);

  key(Qt::Key_Escape);
  EXPECT_FALSE(window.isVisible()) << "Escape closes";
}

// Fitted to the room above the panel by default, 1:1 with Z; fullscreen
// with F; the menu's checks follow; everything is remembered for the next
// start.
TEST(PlayerWindow, FitsTogglesAndRemembers) {
  application();
  const test::TFreshSettings settings;
  test::TPlayerDir dir("qt_fit");
  const std::string grid = dir.Write("grid.tol", tolBytes(1, 2, 40, 10, 4, cellColour));
  auto key = [](QWidget& w, int code) {
    QKeyEvent press(QEvent::KeyPress, code, Qt::NoModifier);
    QApplication::sendEvent(&w, &press);
  };
  {
    TPlayerWindow window(dir.Executable());
    window.Start(grid);
    const TBitmap32& frame = window.Form().Show().FrameBitmap();
    const QRect room(0, 0, window.width(), window.height() - kPanelHeight);
    const QRect fitted = window.ShownRect();
    EXPECT_TRUE(fitted.width() == room.width() || fitted.height() == room.height()) << "as large as the room holds";
    EXPECT_NEAR(static_cast<double>(fitted.width()) / fitted.height(),
                static_cast<double>(frame.Width()) / frame.Height(), 0.05);
    EXPECT_EQ(fitted.center().x(), room.center().x());
    key(window, Qt::Key_Z);
    EXPECT_EQ(window.ShownRect(), QRect(window.Form().OffsetX(), window.Form().OffsetY(), frame.Width(), frame.Height()));
    key(window, Qt::Key_F);
    EXPECT_TRUE(window.isFullScreen());
    const std::unique_ptr<QMenu> menu = window.BuildMenu();
    std::map<QString, QAction*> actions;
    for (QAction* a : menu->actions()) actions[a->text()] = a;
    EXPECT_TRUE(actions.at(QString::fromUtf8("全屏"))->isChecked());
    EXPECT_FALSE(actions.at(QString::fromUtf8("适应窗口"))->isChecked());
    actions.at(QString::fromUtf8("适应窗口"))->trigger();
    EXPECT_TRUE(window.Fit());
    actions.at("English")->trigger();
    EXPECT_TRUE(window.Form().CaptionsEnglish());
    key(window, Qt::Key_BracketLeft);
    key(window, Qt::Key_9);
    key(window, Qt::Key_M);
  }
  TPlayerWindow again(dir.Executable());
  again.Start("");
  EXPECT_TRUE(again.FullScreen());
  EXPECT_TRUE(again.Fit());
  EXPECT_TRUE(again.Form().CaptionsEnglish());
  EXPECT_EQ(again.Form().ScrollBar(TScrollBarId::SpeedBar).Position, 4);
  EXPECT_NEAR(again.Form().Volume(), 0.9, 1e-9);
  EXPECT_TRUE(again.Form().Muted());
  const std::unique_ptr<QMenu> menu = again.BuildMenu();
  QMenu* recent = menu->actions().at(1)->menu();
  ASSERT_NE(recent, nullptr);
  ASSERT_EQ(recent->actions().size(), 1);
  EXPECT_EQ(recent->actions()[0]->text(), QString::fromStdString(grid));
}

// A box over a hidden or minimised window was painted blank: it belongs to
// the window, which is shown under it and after it.
TEST(PlayerWindow, AMessageBoxIsTheWindowsOwnAndLeavesItShown) {
  application();
  const test::TFreshSettings settings;
  test::TPlayerDir dir("qt_box");
  TPlayerWindow window(dir.Executable());
  window.Start(dir.Write("grid.tol", tolBytes(1, 2, 10, 10, 4, cellColour)));
  window.showMinimized();
  window.OpenHandedOver(dir.Write("bad.tol", {1, 2, 3}));
  QMessageBox* box = window.OpenMessageBox();
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->parentWidget(), &window);
  EXPECT_TRUE(box->isVisible());
  EXPECT_TRUE(window.isVisible() && !window.isMinimized()) << "the window under the box is shown";
  box->accept();
  QCoreApplication::processEvents();
  EXPECT_TRUE(window.isVisible() && !window.isMinimized()) << "closing the box leaves the window shown";
}

// A player started with a patch and no show keeps it: a show handed over
// that the patch cannot drive is reported and lights nothing, and the next
// one it drives lights its cells.
TEST(PlayerWindow, APatchGivenWithNoShowLightsTheShowsHandedOverLater) {
  application();
  const test::TFreshSettings settings;
  test::TPlayerDir dir("qt_lights");
  output::test::TLoopbackReceiver receiver;
  const std::string patch = dir.WriteText("rows.json", R"({"fixtures": [{"source": "grid", "layer": 0, "rows": [0, 1],
      "columns": [0, 2], "start": 1}], "outputs": [{"protocol": "sacn", "channels": [1, 18], "host": "127.0.0.1",
      "port": )" + std::to_string(receiver.Port()) + "}]}");
  TPlayerWindow window(dir.Executable());
  window.AttachLights(patch);
  window.Start("");
  window.OpenHandedOver(dir.Write("one_row.tol", tolBytes(1, 3, 10, 10, 4, cellColour)));
  QMessageBox* notice = nullptr;
  ASSERT_TRUE(waitFor([&] {
    for (QMessageBox* box : window.findChildren<QMessageBox*>()) {
      if (box->text().contains("rows[1]")) notice = box;
    }
    return notice != nullptr;
  })) << "the show the patch cannot drive is reported";
  EXPECT_EQ(notice->text().toStdString(), "one_row.tol: " + patch +
                                              ": fixtures[0].rows[1]: must be a whole number from 0 to 0; the lamps "
                                              "stay dark while it plays");
  EXPECT_FALSE(receiver.Receive(300).has_value()) << "nothing sent for it";
  window.OpenHandedOver(dir.Write("two_rows.tol", tolBytes(2, 3, 10, 10, 4, cellColour)));
  std::optional<output::test::Bytes> packet;
  ASSERT_TRUE(waitFor([&] { return (packet = receiver.Receive(0)).has_value(); })) << "the lamps are lit";
  ASSERT_EQ(packet->size(), 126u + 18);
  EXPECT_EQ((*packet)[126 + 16], 2 * (1 + 1)) << "green of cell (1, 2), the last: its row";
  EXPECT_EQ((*packet)[126 + 17], 2 * (2 + 1)) << "blue: its column";
}

}  // namespace
}  // namespace lumora
