#include "movie/movie_file.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "movie/graphic_factory.h"
#include "support/load_error.h"
#include "support/scoped_env.h"
#include "support/test_graphic.h"

namespace lumora {
namespace {

using test::asTest;
using test::testClasses;
using test::TTestGraphic;

// A private temporary directory, made the system's for the test's lifetime,
// and the player's private directory inside it, where music goes.
class MovieFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fDir = std::filesystem::temp_directory_path() / ("lumora_movie_" + std::to_string(::getpid()));
    std::filesystem::create_directories(fDir / "tmp");
    fTmp = std::make_unique<test::TScopedEnv>("TMPDIR", (fDir / "tmp").c_str());
    fRuntime = std::make_unique<test::TScopedEnv>("XDG_RUNTIME_DIR", nullptr);
    MakePrivateDirectory();
  }
  void TearDown() override {
    fRuntime.reset();
    fTmp.reset();
    std::filesystem::remove_all(fDir);
  }
  std::string path(const std::string& name) const { return (fDir / name).string(); }
  // A file in the private directory.
  std::string tmp(const std::string& name) const {
    return (fDir / "tmp" / ("lumora-" + std::to_string(::getuid())) / name).string();
  }
  // Whether path is a file of that name in a folder of its own inside the
  // private directory.
  bool extracted(const std::string& path, const std::string& name) const {
    const std::filesystem::path p(path);
    return p.filename() == name && p.parent_path().parent_path() == tmp("").substr(0, tmp("").size() - 1) &&
           std::filesystem::is_regular_file(p);
  }

  // A movie document that builds test graphics.
  struct TTarget : TMovieDocument {
    TGraphicClassTable Classes = testClasses({2}, true);
    TTarget() { File.Classes = &Classes; }
  };

  // Two layers (the second masked) of test graphics and one grid layer.
  static void fillScene(TTarget& t) {
    t.File.Width = 640;
    t.File.Height = 480;
    t.File.StoredRect = {1, 2, 3, 4};
    t.Root.Setting = 7;
    TLayer& plain = t.Root.AddLayer("");
    for (int i = 0; i < 2; ++i) {
      auto g = std::make_unique<TTestGraphic>();
      g->Payload = 100 + i;
      g->SetLineWidth(3 * kFixedOne);
      g->SetGridRow(i);
      plain.Add(std::move(g));
    }
    TLayer& masked = t.Root.AddLayer("");
    masked.SetMasked(1);
    auto mask = std::make_unique<TTestGraphic>();
    mask->SetEffect(CreateEffect(kEffectMask));
    mask->Payload = 7;
    masked.Add(std::move(mask));
    auto grid = std::make_unique<TFrameDataLayer>();
    grid->SetRows(2);
    grid->SetColumns(2);
    grid->CellWidth = 5;
    auto section = std::make_unique<TSection>();
    for (int i = 0; i < 3; ++i) {
      auto f = std::make_unique<TFrameData>(2, 2);
      f->SetCell(1, 1, 0x00FF00 + i);
      section->Add(std::move(f));
    }
    grid->Add(std::move(section));
    t.Grid.Add(std::move(grid));
  }

  std::filesystem::path fDir;
  std::unique_ptr<test::TScopedEnv> fTmp;
  std::unique_ptr<test::TScopedEnv> fRuntime;
};

std::vector<std::uint8_t> layeredFile(const TStreamWriter& body) {
  TStreamWriter file;
  file.WriteBytes(MovieMagic(6));
  file.WriteBytes(DeflateBytes(body.Data()));
  return file.TakeData();
}

TEST_F(MovieFileTest, MagicSelectsTheVersion) {
  const std::vector<std::vector<std::uint8_t>> magics = {
      {0x51, 0, 0x56, 0, 0x58, 1}, {0x51, 0, 0x56, 0, 0x58, 3}, {0x51, 0, 0x56, 0, 0x58, 6},
      {0x51, 0, 0x56, 0, 0x58, 0}, {0x51, 0, 0x56, 0, 0x58, 2}, {1, 2, 3, 4, 5, 6}, {0x51, 0, 0x56}};
  const std::vector<std::int32_t> versions = {1, 3, 6, -1, -1, -1, -1};
  for (std::size_t i = 0; i < magics.size(); ++i) {
    TMemoryInput input(magics[i]);
    TStreamReader reader(input, "magic");
    EXPECT_EQ(TMovieFile::DetectVersion(reader), versions[i]) << "magic " << i;
  }
  for (const auto& bad : {magics[3], magics[5]}) {
    WriteFileBytes(path("bad.ctl"), bad);
    TTarget t;
    t.Root.AddLayer("kept");
    EXPECT_FALSE(t.File.LoadFromFile(path("bad.ctl"), true));
    EXPECT_EQ(t.File.Width, 800);
    EXPECT_EQ(t.File.Height, 600);
    EXPECT_EQ(t.Root.LayerCount(), 1) << "the scene root is not touched";
  }
}

TEST_F(MovieFileTest, LayeredRoundTrip) {
  TTarget source;
  fillScene(source);
  TMusicData music{"song.mp3", {1, 2, 3, 4, 5}};
  WriteFileBytes(path("show.ctl"), source.File.SaveLayered(&music));
  for (const auto& layer : source.Root.Layers()) {
    for (const auto& g : layer->Graphics()) EXPECT_FALSE(g->Selected()) << "WriteBody clears Selected";
  }

  TTarget t;
  t.Root.AddLayer("old");
  t.Grid.ResetToSingle();
  ASSERT_TRUE(t.File.LoadFromFile(path("show.ctl"), true));
  EXPECT_EQ(t.File.Width, 640);
  EXPECT_EQ(t.File.Height, 480);
  EXPECT_EQ(t.File.StoredRect, (TRect{1, 2, 3, 4}));
  EXPECT_EQ(t.Root.Setting, 7);
  ASSERT_EQ(t.Root.LayerCount(), 2) << "the old layer was cleared";
  EXPECT_EQ(t.Root.Layer(0).Name, "第1层");
  EXPECT_EQ(t.Root.Layer(1).Name, "第2层");
  EXPECT_EQ(t.Root.CurrentLayer(), &t.Root.Layer(1)) << "the last layer read is current";
  const TLayer& plain = t.Root.Layer(0);
  ASSERT_EQ(plain.Count(), 2);
  TTestGraphic& g1 = asTest(plain.Items(1));
  EXPECT_EQ(g1.Payload, 101);
  EXPECT_EQ(g1.LineWidth(), 3 * kFixedOne) << "written in 16.16, kept";
  EXPECT_EQ(g1.GridRow(), 1);
  EXPECT_EQ(g1.Target, &t.Frame);
  EXPECT_EQ(plain.Owner, nullptr);
  const TLayer& masked = t.Root.Layer(1);
  EXPECT_EQ(masked.Masked(), 1);
  EXPECT_EQ(masked.Owner, &t.Root);
  ASSERT_EQ(masked.Count(), 1);
  EXPECT_EQ(masked.MaskGraphic(), &masked.Items(0));
  EXPECT_EQ(masked.Items(0).EffectKind(), kEffectMask);
  ASSERT_EQ(t.Grid.Count(), 1);
  EXPECT_EQ(t.Grid.Items(0).CellWidth, 5);
  ASSERT_EQ(t.Grid.Items(0).FrameCount(), 3);
  EXPECT_EQ(t.Grid.Items(0).Items(0).Items(2).CellColor(1, 1), 0x00FE02);
  EXPECT_EQ(t.File.HasMusic, 1);
  EXPECT_EQ(t.File.MusicName, "song.mp3");
  EXPECT_TRUE(extracted(t.File.MusicFileName, "song.mp3")) << t.File.MusicFileName;
  EXPECT_EQ(ReadFileBytes(t.File.MusicFileName), music.Data);
}

TEST_F(MovieFileTest, NoLayersStillReadsGridAndMusic) {
  TTarget source;
  fillScene(source);
  source.Root.Clear();
  TMusicData music{"a.wav", {9}};
  WriteFileBytes(path("empty.ctl"), source.File.SaveLayered(&music));
  TTarget t;
  ASSERT_TRUE(t.File.LoadFromFile(path("empty.ctl"), true));
  EXPECT_EQ(t.File.Width, 800);
  EXPECT_EQ(t.File.Height, 600);
  EXPECT_EQ(t.Root.LayerCount(), 0);
  EXPECT_EQ(t.Grid.Count(), 1);
  EXPECT_TRUE(extracted(t.File.MusicFileName, "a.wav")) << t.File.MusicFileName;
}

// Every read writes its music anew for itself alone, into a folder of its
// own: a file already there under the name (another movie's music, or one
// planted) is never used, and the names of the private directory (the
// instance's lock and socket) are never touched.
TEST_F(MovieFileTest, MusicRules) {
  TTarget source;
  WriteFileBytes(tmp("same.mp3"), std::vector<std::uint8_t>{42});
  WriteFileBytes(tmp(kInstanceLockName), std::vector<std::uint8_t>{7});
  WriteFileBytes(tmp(kInstanceSocketName), std::vector<std::uint8_t>{8});
  TMusicData first{"same.mp3", {1, 2, 3}};
  TMusicData second{"same.mp3", {4, 5}};
  WriteFileBytes(path("a.ctl"), source.File.SaveLayered(&first));
  WriteFileBytes(path("b.ctl"), source.File.SaveLayered(&second));
  {
    TTarget a, b;
    a.File.LoadFromFile(path("a.ctl"), true);
    b.File.LoadFromFile(path("b.ctl"), true);
    EXPECT_TRUE(extracted(a.File.MusicFileName, "same.mp3"));
    EXPECT_NE(a.File.MusicFileName, b.File.MusicFileName);
    EXPECT_EQ(ReadFileBytes(a.File.MusicFileName), first.Data);
    EXPECT_EQ(ReadFileBytes(b.File.MusicFileName), second.Data) << "each movie plays its own music";
  }
  EXPECT_EQ(ReadFileBytes(tmp("same.mp3")), std::vector<std::uint8_t>{42}) << "a file there before is not used";
  for (const char* reserved : {kInstanceLockName, kInstanceSocketName}) {
    TMusicData named{reserved, {9}};
    WriteFileBytes(path("c.ctl"), source.File.SaveLayered(&named));
    TTarget t;
    t.File.LoadFromFile(path("c.ctl"), true);
    EXPECT_TRUE(extracted(t.File.MusicFileName, reserved));
  }
  EXPECT_EQ(ReadFileBytes(tmp(kInstanceLockName)), std::vector<std::uint8_t>{7}) << "the lock is not the music's";
  EXPECT_EQ(ReadFileBytes(tmp(kInstanceSocketName)), std::vector<std::uint8_t>{8});

  // HasMusic = 0 with a name length: no name, no data length.
  TStreamWriter body;
  source.File.WriteLayeredBody(body);
  body.WriteU8(0);
  body.WriteS32(5);
  body.WriteBytes(std::vector<std::uint8_t>{'x', '.', 'm', 'p', '3'});
  WriteFileBytes(path("b.ctl"), layeredFile(body));
  TTarget t2;
  t2.File.LoadFromFile(path("b.ctl"), true);
  EXPECT_EQ(t2.File.HasMusic, 0);
  EXPECT_EQ(t2.File.MusicName, "");
  EXPECT_EQ(t2.File.MusicFileName, "");

  // Stored names keep only their last component.
  const std::vector<std::pair<std::string, std::string>> names = {
      {"../../escape.mp3", "escape.mp3"}, {"C:\\music\\win.mp3", "win.mp3"}, {"..", ""}, {".", ""},
      {"dir/", ""}, {std::string("a\0b", 3), ""}};
  std::vector<std::string> written;
  for (const auto& [stored, safe] : names) {
    EXPECT_EQ(SafeMusicName(stored), safe) << stored;
    TMusicData m{stored, {7}};
    WriteFileBytes(path("c.ctl"), source.File.SaveLayered(&m));
    TTarget t3;
    t3.File.LoadFromFile(path("c.ctl"), true);
    EXPECT_EQ(t3.File.MusicName, safe) << stored;
    EXPECT_TRUE(safe.empty() ? t3.File.MusicFileName.empty() : extracted(t3.File.MusicFileName, safe)) << stored;
    EXPECT_EQ(t3.File.ExtractedMusic.Path(), t3.File.MusicFileName) << stored;
    written.push_back(t3.File.MusicFileName);
  }
  EXPECT_FALSE(std::filesystem::exists(fDir / "escape.mp3"));
  for (const std::string& file : written) {
    EXPECT_FALSE(!file.empty() && std::filesystem::exists(file)) << "the reader removes the music it wrote";
  }

  // Without readMusic nothing of the section is read; without WriteMusic
  // the name is known but nothing is written.
  TMusicData fresh{"fresh.mp3", {1}};
  WriteFileBytes(path("d.ctl"), source.File.SaveLayered(&fresh));
  TTarget t4;
  t4.File.LoadFromFile(path("d.ctl"), false);
  EXPECT_EQ(t4.File.MusicName, "");
  t4.File.WriteMusic = false;
  t4.File.LoadFromFile(path("d.ctl"), true);
  EXPECT_EQ(t4.File.MusicName, "fresh.mp3");
  EXPECT_EQ(t4.File.MusicFileName, "");
}

// Another user may put a folder or a link where the private directory
// belongs, with a file under the music's name in it: no path inside it is
// ever used, and the reader says why the music is left out.
TEST_F(MovieFileTest, MusicIsLeftOutWithoutThePrivateDirectory) {
  const std::filesystem::path planted = fDir / "planted";
  std::filesystem::create_directories(planted);
  WriteFileBytes((planted / "song.mp3").string(), std::vector<std::uint8_t>{66});
  const std::string dir = tmp("").substr(0, tmp("").size() - 1);
  std::filesystem::remove_all(dir);
  std::filesystem::create_directory_symlink(planted, dir);
  TTarget source;
  TMusicData music{"song.mp3", {1, 2}};
  WriteFileBytes(path("a.ctl"), source.File.SaveLayered(&music));
  TTarget t;
  ASSERT_TRUE(t.File.LoadFromFile(path("a.ctl"), true));
  EXPECT_EQ(t.File.MusicName, "song.mp3");
  EXPECT_EQ(t.File.MusicFileName, "");
  EXPECT_EQ(t.File.MusicProblem, dir + ": cannot use it as the private directory (not a directory of the user's own)");
  EXPECT_EQ(ReadFileBytes((planted / "song.mp3").string()), std::vector<std::uint8_t>{66});
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(planted), {}), 1);
}

TEST_F(MovieFileTest, TruncatedAndCorruptBodiesKeepWhatWasRead) {
  TTarget source;
  fillScene(source);
  TStreamWriter body;
  source.File.WriteLayeredBody(body);
  // Header and first layer intact, then cut inside the second graphic.
  const std::size_t firstLayerEnd = 29 + 5 + 2 * (40 + 5);
  std::vector<std::uint8_t> cut(body.Data().begin(), body.Data().begin() + firstLayerEnd - 3);
  TStreamWriter cutBody;
  cutBody.WriteBytes(cut);
  WriteFileBytes(path("cut.ctl"), layeredFile(cutBody));
  TTarget t;
  t.Grid.ResetToSingle();
  ASSERT_TRUE(t.File.LoadFromFile(path("cut.ctl"), true));
  ASSERT_EQ(t.Root.LayerCount(), 1);
  ASSERT_EQ(t.Root.Layer(0).Count(), 2);
  EXPECT_EQ(asTest(t.Root.Layer(0).Items(1)).Payload, 0) << "the payload's bytes are missing";
  EXPECT_EQ(t.Grid.Count(), 0);

  // A corrupt check value at the end: the error comes after the layers
  // read before it are kept.
  auto corrupt = source.File.SaveLayered(nullptr);
  corrupt[corrupt.size() - 1] ^= 0xA5;
  WriteFileBytes(path("corrupt.ctl"), corrupt);
  TTarget t2;
  try {
    t2.File.LoadFromFile(path("corrupt.ctl"), true);
    FAIL() << "no error";
  } catch (const TLoadError& e) {
    EXPECT_EQ(std::string(e.what()).rfind(path("corrupt.ctl") + ": corrupt compressed data", 0), 0u) << e.what();
  }
  EXPECT_EQ(t2.Root.LayerCount(), 2);

  TStreamWriter padded;
  source.File.WriteLayeredBody(padded);
  padded.WriteBytes(std::vector<std::uint8_t>(5000, 0x55));
  TTarget t3;
  t3.File.MaxBodySize = 1000;
  WriteFileBytes(path("large.ctl"), layeredFile(padded));
  EXPECT_THROW(t3.File.LoadFromFile(path("large.ctl"), true), TLoadError);
  EXPECT_THROW(t3.File.LoadFromFile(path("missing.ctl"), true), TLoadError);
}

// A body that declares a number of layers and ends there.
TStreamWriter bodyDeclaringLayers(std::int32_t layers) {
  TStreamWriter body;
  for (const std::int32_t v : {640, 480, 0, 0, 0, 0}) body.WriteS32(v);
  body.WriteU8(0);
  body.WriteS32(layers);
  return body;
}

TEST_F(MovieFileTest, LayerCountAndBodySizeLimits) {
  WriteFileBytes(path("at.ctl"), layeredFile(bodyDeclaringLayers(kMaxMovieLayers)));
  TTarget at;
  EXPECT_NO_THROW(at.File.LoadFromFile(path("at.ctl"), true));
  WriteFileBytes(path("past.ctl"), layeredFile(bodyDeclaringLayers(kMaxMovieLayers + 1)));
  TTarget past;
  EXPECT_EQ(test::LoadErrorOf([&] { past.File.LoadFromFile(path("past.ctl"), true); }),
            path("past.ctl") + ": the movie holds 65537 layers, more than 65536");

  TTarget source;
  fillScene(source);
  TStreamWriter body;
  source.File.WriteLayeredBody(body);
  WriteFileBytes(path("sized.ctl"), layeredFile(body));
  TTarget exact;
  exact.File.MaxBodySize = body.Data().size();
  ASSERT_NO_THROW(exact.File.LoadFromFile(path("sized.ctl"), true));
  EXPECT_EQ(exact.Root.LayerCount(), 2);
  TTarget oneShort;
  oneShort.File.MaxBodySize = body.Data().size() - 1;
  EXPECT_THROW(oneShort.File.LoadFromFile(path("sized.ctl"), true), TLoadError);
}

TEST_F(MovieFileTest, GridProgramVersionsOneAndThree) {
  TTarget source;
  source.Classes = testClasses({2}, false);
  fillScene(source);
  source.Grid.Items(0).GridFlag = 1;
  source.Grid.Items(0).Param = 77;
  auto& frame = source.Grid.Items(0).Items(0).Items(1);
  frame.SetCell(0, 1, 0x00FF11);  // 4-bit channels: 1, 15, 0
  const auto v1 = source.File.SaveGridProgram(false);
  const auto v3 = source.File.SaveGridProgram(true);
  ASSERT_EQ(v1.size(), v3.size() + 4);
  EXPECT_EQ(v1[5], 1);
  EXPECT_EQ(v3[5], 3);
  EXPECT_TRUE(std::equal(v3.begin() + 6, v3.end(), v1.begin() + 10)) << "only the four raw bytes differ";

  for (const auto& [name, bytes] : {std::pair{"v1.ctl", v1}, std::pair{"v3.ctl", v3}}) {
    WriteFileBytes(path(name), bytes);
    TTarget t;
    t.Classes = testClasses({2}, false);
    ASSERT_TRUE(t.File.LoadFromFile(path(name), true)) << name;
    EXPECT_EQ(t.File.Width, 640) << name;
    ASSERT_EQ(t.Grid.Count(), 1);
    const TFrameDataLayer& grid = t.Grid.Items(0);
    EXPECT_EQ(grid.Rows(), 2);
    EXPECT_EQ(grid.WorkFrame().Columns(), 2);
    EXPECT_EQ(grid.CellWidth, 5);
    EXPECT_EQ(grid.GridFlag, 1);
    EXPECT_EQ(grid.Param, 77);
    EXPECT_EQ(grid.GridColor, 0x808080);
    ASSERT_EQ(grid.FrameCount(), 3);
    EXPECT_EQ(grid.Items(0).Items(1).CellColor(0, 1), 0x00FE10) << "17 and 255 in 7 bits";
    ASSERT_EQ(t.Root.LayerCount(), 2);
    EXPECT_EQ(t.Root.Layer(1).Name, "第2层");
    EXPECT_EQ(t.Root.Layer(1).Masked(), 0) << "legacy layers have no mask flag";
    ASSERT_EQ(t.Root.Layer(0).Count(), 2);
    const TTestGraphic& g = asTest(t.Root.Layer(0).Items(1));
    EXPECT_EQ(g.Payload, 101);
    EXPECT_EQ(g.LineWidth(), 3 * kFixedOne) << "exported as 3 whole pixels";
    EXPECT_EQ(g.Target, nullptr) << "no SetTargets pass";
  }
}

TEST_F(MovieFileTest, AppendedMovie) {
  TTarget source;
  fillScene(source);
  const auto movie = source.File.SaveLayered(nullptr);
  const std::vector<std::uint8_t> exe(1000, 0xCC);
  const auto image = AppendMovie(exe, movie);
  TTarget t;
  ASSERT_TRUE(t.File.ReadAppended(image, "player.exe"));
  EXPECT_EQ(t.Root.LayerCount(), 2);
  EXPECT_EQ(t.File.Width, 640);

  auto longer = image;
  longer.push_back(0);
  TTarget t2;
  EXPECT_FALSE(t2.File.ReadAppended(longer, "player.exe")) << "a wrong length plays nothing";
  EXPECT_EQ(t2.Root.LayerCount(), 0);
  auto none = image;
  std::fill(none.begin() + 252, none.begin() + 256, 0);
  EXPECT_FALSE(t2.File.ReadAppended(none, "player.exe"));
  auto beyond = image;
  beyond[255] = 0x7F;
  EXPECT_FALSE(t2.File.ReadAppended(beyond, "player.exe"));
  EXPECT_FALSE(t2.File.ReadAppended(std::vector<std::uint8_t>(100), "tiny.exe"));
}

TEST(GraphicFactory, HeaderValuesAndClassTable) {
  const TObjectHeader header = {0xFF, 0, 0, 0, 1, 0, 0, 0, 0xFF, 0, 0, 0, 0xFF, 0, 0, 0, 0, 0xFF, 0, 0,
                                0,    0, 0xFF, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x0A, 7, 0, 0};
  EXPECT_STREQ(GraphicClassFor(DefaultGraphicClasses(), 10, true).ClassName, "TFontGraphic");
  const auto classes = testClasses({10}, true);
  std::vector<std::uint8_t> bodyBytes = {0, 5, 0, 0, 0, 0xEE};
  TMemoryInput input(bodyBytes);
  TStreamReader reader(input, "body");
  TGraphicBaseFactory factory(classes);
  TLayer layer;
  TGraphicBase* g = factory.Create(header, reader, true, layer, nullptr);
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(layer.Count(), 1);
  EXPECT_EQ(g->LineColor(), 255);
  EXPECT_EQ(g->LineWidth(), 65536);
  EXPECT_EQ(g->FillColor(), 255);
  EXPECT_TRUE(g->Filled());
  EXPECT_FALSE(g->Selected());
  EXPECT_EQ(g->GridRow(), 0);
  EXPECT_EQ(g->GridColumn(), 0);
  EXPECT_EQ(g->TypeCode(), 10);
  EXPECT_EQ(g->ChannelMode(), 7);
  EXPECT_EQ(g->GridLayer(), 0);
  EXPECT_EQ(asTest(*g).Payload, 5);
  EXPECT_EQ(reader.Position(), 5u) << "the body reader took its bytes only";

  for (const auto& [stored, held] : {std::pair{65536, 65536}, std::pair{2, 131072}, std::pair{-1, -65536},
                                     std::pair{3, 196608}, std::pair{131072, 131072}}) {
    TObjectHeader h = header;
    for (int i = 0; i < 4; ++i) h[4 + i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(stored) >> (8 * i));
    TTestGraphic t;
    t.LoadHeader(h);
    EXPECT_EQ(t.LineWidth(), held) << "stored " << stored;
  }

  // Codes that build nothing read nothing.
  const auto all = testClasses({0, 1, 2, 3, 4, 5, 6, 7, 9, 10, 11, 12, 14}, true);
  const auto legacy = testClasses({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 14}, false);
  for (const int code : {8, 13, 15, 200, 255}) {
    TObjectHeader h = header;
    h[36] = static_cast<std::uint8_t>(code);
    TMemoryInput in(bodyBytes);
    TStreamReader r(in, "body");
    TGraphicBaseFactory current(all);
    EXPECT_EQ(current.CreateGraphic(h, r, true, nullptr), nullptr) << "code " << code;
    TGraphicBaseFactory old(legacy);
    EXPECT_EQ(old.CreateGraphic(h, r, false, nullptr) != nullptr, code == 8) << "legacy code " << code;
    EXPECT_EQ(r.Position(), code == 8 ? 4u : 0u) << "code " << code;
  }
  EXPECT_STREQ(GraphicClassFor(DefaultGraphicClasses(), 8, false).ClassName, "TFontGraphic");
  EXPECT_EQ(GraphicClassFor(DefaultGraphicClasses(), 8, false).Reader, TBodyReader::ReadLegacyText);
  EXPECT_STREQ(GraphicClassFor(DefaultGraphicClasses(), 4, false).ClassName, "TPolyLine");
  EXPECT_STREQ(GraphicClassFor(DefaultGraphicClasses(), 0, false).ClassName, "TPolyBezier");
  EXPECT_EQ(GraphicClassFor(DefaultGraphicClasses(), 12, false).Reader, TBodyReader::None);
  EXPECT_EQ(GraphicClassFor(DefaultGraphicClasses(), 13, true).ClassName, nullptr);

  // With no layer the graphic is returned and appended nowhere.
  TMemoryInput in(bodyBytes);
  TStreamReader r(in, "body");
  TGraphicBaseFactory f(classes);
  auto alone = f.CreateGraphic(header, r, true, nullptr);
  EXPECT_NE(alone, nullptr);
}

// One factory, which reads one movie, builds at most 262,144 graphics.
TEST(GraphicFactory, BuildsAtMost262144Graphics) {
  TObjectHeader header{};
  header[36] = 10;  // the class code
  const auto classes = testClasses({10}, true);
  std::vector<std::uint8_t> bodies;
  for (std::int64_t i = 0; i <= kMaxGraphics; ++i) bodies.insert(bodies.end(), {0, 5, 0, 0, 0});
  TMemoryInput input(bodies);
  TStreamReader reader(input, "many.ctl");
  TGraphicBaseFactory factory(classes);
  for (std::int64_t i = 0; i < kMaxGraphics; ++i) ASSERT_NE(factory.CreateGraphic(header, reader, true, nullptr), nullptr);
  EXPECT_EQ(test::LoadErrorOf([&] { factory.CreateGraphic(header, reader, true, nullptr); }),
            "many.ctl: the movie holds more than 262144 graphics");
}

TEST(GraphicBase, LegacyExportHeader) {
  TTestGraphic g(nullptr, 11);
  g.SetLineWidth(5 * kFixedOne + 100);
  g.SetGridLayer(3);
  g.SetFilled(true);
  TStreamWriter w;
  g.TGraphicBase::WriteExport(w);
  ASSERT_EQ(w.Data().size(), 40u);
  EXPECT_EQ(w.Data()[4], 5) << "whole pixels";
  EXPECT_EQ(w.Data()[24], 0) << "Selected written as 0";
  EXPECT_EQ(w.Data()[25], 1);
  EXPECT_EQ(w.Data()[36], 6) << "polylines are exported as Bézier outlines";
  EXPECT_EQ(w.Data()[38], 0) << "GridLayer written as 0";
  g.SetEffect(CreateEffect(kEffectPolyLineGroup));
  TStreamWriter group;
  g.TGraphicBase::WriteExport(group);
  EXPECT_EQ(group.Data()[36], 9);
}

}  // namespace
}  // namespace lumora
