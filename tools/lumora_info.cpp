// lumora-info FILE [--json]: loads a movie, grid movie, play list or an
// executable with an appended movie the way the player does and prints its
// structure as it plays, with the graphics the player leaves out and why.
// It never writes the music file.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "effects/led_graphic.h"
#include "effects/light_graphic.h"
#include "grid/frame_data.h"
#include "io/stream.h"
#include "movie/movie_file.h"
#include "scene/control_layer.h"
#include "scene/group.h"
#include "show/headless_show.h"

namespace lumora {
namespace {

enum class TKind { Movie, Grid, PlayList, Executable };

TKind classify(const std::string& path) {
  std::string lower = path;
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
  if (lower.find(".tol") != std::string::npos || lower.find(".cot") != std::string::npos) return TKind::Grid;
  if (lower.find(".ctl") != std::string::npos) return TKind::Movie;
  if (lower.find(".lst") != std::string::npos) return TKind::PlayList;
  return TKind::Executable;
}

// Bytes that are not UTF-8 (names stored in a legacy code page) are given
// as the Latin-1 characters of the same values.
std::string jsonString(const std::string& s) {
  std::string out = "\"";
  for (std::size_t i = 0; i < s.size(); ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    std::size_t extra = c >= 0xF0 && c < 0xF8 ? 3 : c >= 0xE0 ? 2 : c >= 0xC2 && c < 0xE0 ? 1 : 0;
    bool valid = c >= 0x80 && extra > 0;
    for (std::size_t k = 1; valid && k <= extra; ++k) {
      valid = i + k < s.size() && (static_cast<unsigned char>(s[i + k]) & 0xC0) == 0x80;
    }
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (valid) {
      out.append(s, i, extra + 1);
      i += extra;
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    }
  }
  return out + "\"";
}

// A grid movie's drawing fills no room: the size is the file's own.
constexpr std::int32_t kRoom = 1 << 15;

struct TInfo {
  TKind Kind = TKind::Movie;
  std::string Path;
  std::int32_t Version = 0;
  std::int64_t Width = 0;
  std::int64_t Height = 0;
  THeadlessShow Show{kRoom, kRoom};
  // What the player would say about the movie without refusing it.
  std::vector<std::string> Notes;
  std::vector<std::pair<std::string, bool>> Entries;

  const TControlLayer& Root() const { return Show.Engine.SceneRoot(); }
  const TFrameDataLayers& Grid() const { return Show.Engine.GridLayers(); }
  const std::string& MusicPath() const { return Show.Engine.MusicPath(); }
};

// The player's engine loads and prepares the movie, so that what is listed
// is what plays. A movie it refuses is an error; its other messages are
// notes.
void loadMovie(TInfo& info, bool appended) {
  TShowEngine& engine = info.Show.Engine;
  engine.ExtractMusic = false;
  if (appended) {
    engine.LoadEmbedded(info.Path);
    info.Version = 6;
  } else {
    TFileInput file(info.Path);
    TStreamReader probe(file, info.Path);
    info.Version = TMovieFile::DetectVersion(probe);
    engine.LoadMovie(info.Path);
  }
  for (const std::string& message : info.Show.Host.Messages) {
    if (message == kTextFormatError) throw TLoadError(info.Path + ": not a movie file (unknown magic)");
    if (message == kTextBadFile) throw TLoadError(engine.LastLoadError());
    info.Notes.push_back(message);
  }
  if (appended && !engine.LastLoadError().empty()) throw TLoadError(engine.LastLoadError());
  info.Width = engine.MovieSize().X;
  info.Height = engine.MovieSize().Y;
}

void loadGrid(TInfo& info) {
  info.Show.Engine.LoadGrid(info.Path);
  const TFrameDataLayer& layer = info.Grid().Items(0);
  info.Width = std::int64_t{layer.CellWidth} * layer.Columns();
  info.Height = std::int64_t{layer.CellHeight} * layer.Rows();
}

// Entries are taken relative to the play list's own directory, which for
// the player is the directory of its executable.
void loadPlayList(TInfo& info) {
  // A FIFO would hold the stream open waiting for a writer.
  if (!IsRegularFile(info.Path)) throw TLoadError(info.Path + ": not a regular file");
  std::ifstream in(info.Path);
  if (!in) throw TLoadError(info.Path + ": cannot open the file");
  const std::filesystem::path base = std::filesystem::path(info.Path).parent_path();
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::error_code error;
    info.Entries.emplace_back(line, !line.empty() && std::filesystem::is_regular_file(base / line, error));
  }
}

std::string musicName(const TInfo& info) { return std::filesystem::path(info.MusicPath()).filename().string(); }

// The graphics of layer i that the player leaves out.
std::vector<TControlLayer::TDroppedGraphic> leftOut(const TInfo& info, std::int32_t layer) {
  std::vector<TControlLayer::TDroppedGraphic> dropped;
  for (const auto& d : info.Root().Dropped()) {
    if (d.Layer == layer) dropped.push_back(d);
  }
  return dropped;
}

void printJsonGraphic(std::ostream& out, const TGraphicBase& g) {
  out << "{\"class\": " << jsonString(g.ClassName()) << ", \"type_code\": " << int{g.TypeCode()}
      << ", \"effect_kind\": " << int{g.EffectKind()} << ", \"line_color\": " << g.LineColor()
      << ", \"line_width\": " << g.LineWidth() << ", \"fill_color\": " << g.FillColor()
      << ", \"filled\": " << (g.Filled() ? "true" : "false") << ", \"grid_row\": " << g.GridRow()
      << ", \"grid_column\": " << g.GridColumn() << ", \"channel_mode\": " << int{g.ChannelMode()}
      << ", \"grid_layer\": " << g.GridLayer();
  if (const auto* group = dynamic_cast<const TGroup*>(&g)) {
    out << ", \"children\": [";
    for (std::int32_t i = 0; i < group->ChildCount(); ++i) {
      out << (i ? ", " : "");
      printJsonGraphic(out, group->Child(i));
    }
    out << "]";
  }
  out << "}";
}

void printJson(std::ostream& out, const TInfo& info) {
  const bool sized = info.Kind != TKind::PlayList;
  out << "{\n  \"file\": " << jsonString(info.Path) << ",\n";
  out << "  \"width\": " << (sized ? std::to_string(info.Width) : "null") << ",\n";
  out << "  \"height\": " << (sized ? std::to_string(info.Height) : "null") << ",\n";
  out << "  \"version\": " << (info.Version > 0 ? std::to_string(info.Version) : "null") << ",\n";
  out << "  \"layers\": [";
  for (std::int32_t i = 0; i < info.Root().LayerCount(); ++i) {
    const TLayer& layer = info.Root().Layer(i);
    out << (i ? ",\n" : "\n") << "    {\"name\": " << jsonString(layer.Name)
        << ", \"masked\": " << (layer.Masked() ? "true" : "false") << ", \"graphics\": [";
    for (std::int32_t k = 0; k < layer.Count(); ++k) {
      out << (k ? ",\n" : "\n") << "      ";
      printJsonGraphic(out, layer.Items(k));
    }
    out << (layer.Count() ? "\n    ]" : "]") << ", \"left_out\": [";
    const auto dropped = leftOut(info, i);
    for (std::size_t k = 0; k < dropped.size(); ++k) {
      out << (k ? ", " : "") << "{\"index\": " << dropped[k].Index << ", \"class\": " << jsonString(dropped[k].ClassName)
          << ", \"reason\": " << jsonString(dropped[k].Reason) << "}";
    }
    out << "]}";
  }
  out << (info.Root().LayerCount() ? "\n  ],\n" : "],\n");
  out << "  \"grid_layers\": [";
  for (std::int32_t i = 0; i < info.Grid().Count(); ++i) {
    const TFrameDataLayer& grid = info.Grid().Items(i);
    out << (i ? ",\n" : "\n") << "    {\"rows\": " << grid.Rows() << ", \"columns\": " << grid.Columns()
        << ", \"cell_width\": " << grid.CellWidth << ", \"cell_height\": " << grid.CellHeight
        << ", \"current\": " << (grid.Current ? "true" : "false") << ", \"sections\": [";
    for (std::int32_t s = 0; s < grid.Count(); ++s) out << (s ? ", " : "") << "{\"frames\": " << grid.Items(s).Count() << "}";
    out << "], \"frames\": " << grid.FrameCount() << "}";
  }
  out << (info.Grid().Count() ? "\n  ],\n" : "],\n");
  out << "  \"music\": ";
  if (info.MusicPath().empty()) {
    out << "null";
  } else {
    out << "{\"name\": " << jsonString(musicName(info)) << ", \"path\": " << jsonString(info.MusicPath()) << "}";
  }
  out << ",\n  \"notes\": [";
  for (std::size_t i = 0; i < info.Notes.size(); ++i) out << (i ? ", " : "") << jsonString(info.Notes[i]);
  out << "]";
  out << ",\n  \"entries\": [";
  for (std::size_t i = 0; i < info.Entries.size(); ++i) {
    out << (i ? ", " : "") << "{\"name\": " << jsonString(info.Entries[i].first)
        << ", \"exists\": " << (info.Entries[i].second ? "true" : "false") << "}";
  }
  out << "]\n}\n";
}

// What the lamp graphics add to their summary line.
std::string lampDetails(const TGraphicBase& g) {
  std::ostringstream s;
  if (const auto* led = dynamic_cast<const TLEDGraphic*>(&g)) {
    const TCellRange& r = led->CellRange;
    s << ", LED cells (" << r.FirstRow << ", " << r.FirstColumn << ") to (" << r.LastRow << ", " << r.LastColumn
      << "), image " << led->Image().Width() << " x " << led->Image().Height();
  } else if (const auto* light = dynamic_cast<const TLightGraphic*>(&g)) {
    s << ", light " << light->StartAngle << " to " << light->EndAngle << " degrees in " << light->StepCount
      << " steps held " << light->StepHold << ", image " << light->Image().Width() << " x "
      << light->Image().Height();
  }
  return s.str();
}

void printSummary(std::ostream& out, const TInfo& info) {
  out << info.Path << "\n";
  if (info.Kind == TKind::PlayList) {
    out << "play list, " << info.Entries.size() << " entries\n";
    for (const auto& [name, exists] : info.Entries) out << "  " << name << (exists ? "" : " (missing)") << "\n";
    return;
  }
  if (info.Version > 0) out << "movie version " << info.Version << ", ";
  out << info.Width << " x " << info.Height << "\n";
  for (std::int32_t i = 0; i < info.Root().LayerCount(); ++i) {
    const TLayer& layer = info.Root().Layer(i);
    out << "layer " << layer.Name << (layer.Masked() ? " (masked)" : "") << ": " << layer.Count() << " graphics\n";
    for (std::int32_t k = 0; k < layer.Count(); ++k) {
      const TGraphicBase& g = layer.Items(k);
      out << "  " << g.ClassName() << " code " << int{g.TypeCode()} << ", effect " << int{g.EffectKind()}
          << ", cell (" << g.GridRow() << ", " << g.GridColumn() << ") of grid layer " << g.GridLayer()
          << lampDetails(g) << "\n";
    }
    for (const auto& d : leftOut(info, i)) {
      out << "  left out: " << d.ClassName << " (graphic " << d.Index << " of the file): " << d.Reason << "\n";
    }
  }
  for (const std::string& note : info.Notes) out << "note: " << note << "\n";
  for (std::int32_t i = 0; i < info.Grid().Count(); ++i) {
    const TFrameDataLayer& grid = info.Grid().Items(i);
    out << "grid layer " << i << ": " << grid.Rows() << " x " << grid.Columns() << " cells of " << grid.CellWidth
        << " x " << grid.CellHeight << " pixels, " << grid.Count() << " frame lists, " << grid.FrameCount()
        << " frames" << (grid.Current ? " (current)" : "") << "\n";
  }
  if (!info.MusicPath().empty()) out << "music: " << info.MusicPath() << "\n";
}

int run(int argc, char** argv) {
  std::string path;
  bool json = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--json") {
      json = true;
    } else if (path.empty()) {
      path = arg;
    } else {
      path.clear();
      break;
    }
  }
  if (path.empty()) {
    std::cerr << "usage: lumora-info FILE [--json]\n";
    return 2;
  }
  TInfo info;
  info.Path = path;
  info.Kind = classify(path);
  switch (info.Kind) {
    case TKind::Movie: loadMovie(info, false); break;
    case TKind::Executable: loadMovie(info, true); break;
    case TKind::Grid: loadGrid(info); break;
    case TKind::PlayList: loadPlayList(info); break;
  }
  std::ostringstream out;
  if (json) {
    printJson(out, info);
  } else {
    printSummary(out, info);
  }
  std::cout << out.str();
  return 0;
}

}  // namespace
}  // namespace lumora

int main(int argc, char** argv) {
  try {
    return lumora::run(argc, argv);
  } catch (const std::exception& e) {
    std::cerr << "lumora-info: " << e.what() << "\n";
    return 1;
  }
}
