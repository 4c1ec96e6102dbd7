// lumora-info: loads a movie, grid movie, play list or an executable with an
// appended movie the way the player does and prints its structure as it
// plays: layers and graphics with their places (the numbers a channel patch
// names lamps by), the graphics the player leaves out and why, the grid
// layers, the music, and how long the show plays. It never writes the music
// file.
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "effects/led_graphic.h"
#include "effects/light_graphic.h"
#include "io/stream.h"
#include "movie/movie_file.h"
#include "scene/group.h"
#include "show/headless_show.h"
#include "show/show_pass.h"
#include "tools/command_line.h"

namespace lumora {
namespace {

using nlohmann::ordered_json;

enum class TKind { Movie, Grid, PlayList, Executable };

// A grid movie's drawing fills no room: the size is the file's own.
constexpr std::int32_t kRoom = 1 << 15;

TKind classify(const std::string& path) {
  if (ContainsNoCase(path, ".tol") || ContainsNoCase(path, ".cot")) return TKind::Grid;
  if (ContainsNoCase(path, ".ctl")) return TKind::Movie;
  if (ContainsNoCase(path, ".lst")) return TKind::PlayList;
  return TKind::Executable;
}

// A line of a play list: where the player finds it, what one pass plays of
// it, or why it cannot be played.
struct TEntry {
  std::string Name;
  std::optional<std::string> Path;
  std::int64_t Frames = 0;
  std::int32_t IntervalMs = 0;
  std::string Fault;
  double Seconds() const { return static_cast<double>(Frames) * IntervalMs / 1000.0; }
};

// What one pass over a play list plays.
struct TPlaying {
  std::int64_t Frames = 0;
  double Seconds = 0;
};

struct TInfo {
  TKind Kind = TKind::Movie;
  std::string Path;
  std::int32_t Version = 0;
  std::int64_t Width = 0;
  std::int64_t Height = 0;
  THeadlessShow Show{kRoom, kRoom};
  // What the player would say about the movie without refusing it.
  std::vector<std::string> Notes;
  std::vector<TEntry> Entries;

  const TShowEngine& Engine() const { return Show.Engine; }
  const TControlLayer& Root() const { return Show.Engine.SceneRoot(); }
  const TFrameDataLayers& Grid() const { return Show.Engine.GridLayers(); }
};

// The player's engine loads and prepares the movie, so that what is listed
// is what plays. A movie it refuses is an error; its other messages are
// notes.
void loadMovie(TInfo& info, bool appended) {
  TShowEngine& engine = info.Show.Engine;
  engine.ExtractMusic = false;
  engine.Open(info.Path);
  if (appended) {
    info.Version = 6;
  } else {
    TFileInput file(info.Path);
    TStreamReader probe(file, info.Path);
    info.Version = TMovieFile::DetectVersion(probe);
  }
  const THeadlessHost& host = info.Show.Host;
  for (std::size_t i = 0; i < host.Messages.size(); ++i) {
    if (host.Messages[i] == kTextBadFile || host.Messages[i] == kTextFormatError) throw TLoadError(host.Details[i]);
    info.Notes.push_back(host.Details[i].empty() ? EnglishMessage(host.Messages[i]) : host.Details[i]);
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

// What one pass of the list plays of the entry, opened as the player opens
// it.
void measureEntry(TEntry& entry, bool first) {
  try {
    THeadlessShow show(kRoom, kRoom, SelfPath());
    show.Engine.ExtractMusic = false;
    show.Open(*entry.Path);
    entry.Frames = FramesInPass(show.Engine.Frames().Max, first);
    entry.IntervalMs = show.Engine.TickInterval();
  } catch (const std::exception& error) {
    entry.Fault = error.what();
  }
}

// Entries are found as the player finds them: beside the list, then beside
// the program.
void loadPlayList(TInfo& info) {
  // A FIFO would hold the stream open waiting for a writer.
  if (!IsRegularFile(info.Path)) throw TLoadError(info.Path + ": not a regular file");
  std::ifstream in(info.Path);
  if (!in) throw TLoadError(info.Path + ": cannot open the file");
  std::string line;
  bool first = true;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    TEntry entry;
    entry.Name = line;
    entry.Path = PlayListEntryPath(line, info.Path, SelfPath());
    if (entry.Path) {
      measureEntry(entry, first);
      first = first && !entry.Fault.empty();
    }
    info.Entries.push_back(std::move(entry));
  }
}

TPlaying listTotal(const TInfo& info) {
  std::int64_t frames = 0;
  double seconds = 0;
  for (const TEntry& e : info.Entries) {
    frames += e.Frames;
    seconds += e.Seconds();
  }
  return {frames, seconds};
}

// The length of the well-formed UTF-8 sequence at i (RFC 3629: no
// overlong forms, no surrogates, nothing past U+10FFFF), or 0.
std::size_t utf8Length(const std::string& s, std::size_t i) {
  const auto at = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char c = at(i);
  if (c < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
  if (c >= 0xC2 && c <= 0xDF) {
    length = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    length = 3;
    low = c == 0xE0 ? 0xA0 : 0x80;
    high = c == 0xED ? 0x9F : 0xBF;
  } else if (c >= 0xF0 && c <= 0xF4) {
    length = 4;
    low = c == 0xF0 ? 0x90 : 0x80;
    high = c == 0xF4 ? 0x8F : 0xBF;
  }
  if (length == 0 || i + length > s.size() || at(i + 1) < low || at(i + 1) > high) return 0;
  for (std::size_t k = 2; k < length; ++k) {
    if ((at(i + k) & 0xC0) != 0x80) return 0;
  }
  return length;
}

// Names stored in a legacy code page are not UTF-8: every byte that does
// not begin a well-formed sequence is given as the Latin-1 character of the
// same value, so that the text is always valid UTF-8.
std::string readableText(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t length = utf8Length(s, i);
    if (length > 0) {
      out.append(s, i, length);
      i += length;
      continue;
    }
    const auto c = static_cast<unsigned char>(s[i++]);
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
  return out;
}

// The readable text with its control characters (C0, DEL and C1) written
// as \xNN, so that a name cannot move the cursor or retitle the terminal.
std::string printable(const std::string& s) {
  const std::string text = readableText(s);
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    auto code = static_cast<unsigned char>(text[i]);
    const bool c1 = code == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) < 0xA0;
    if (c1) code = static_cast<unsigned char>(text[++i]);
    if (code >= 0x20 && code != 0x7F && !c1) {
      out += text[i];
      continue;
    }
    char escaped[5];
    std::snprintf(escaped, sizeof escaped, "\\x%02x", code);
    out += escaped;
  }
  return out;
}

// The graphics of layer i that the player leaves out.
std::vector<TControlLayer::TDroppedGraphic> leftOut(const TInfo& info, std::int32_t layer) {
  std::vector<TControlLayer::TDroppedGraphic> dropped;
  for (const auto& d : info.Root().Dropped()) {
    if (d.Layer == layer) dropped.push_back(d);
  }
  return dropped;
}

// The frames the player shows, 0 … last, each for the tick interval.
struct TMoviePlaying {
  std::int32_t Last = 0;
  std::int32_t IntervalMs = 0;
  double Seconds() const { return (Last + 1.0) * IntervalMs / 1000.0; }
};

TMoviePlaying playing(const TInfo& info) {
  return {info.Engine().Frames().Max - 1, info.Engine().TickInterval()};
}

ordered_json graphicJson(const TGraphicBase& g) {
  ordered_json j = {{"class", g.ClassName()},     {"type_code", g.TypeCode()},     {"effect_kind", g.EffectKind()},
                    {"line_color", g.LineColor()}, {"line_width", g.LineWidth()},   {"fill_color", g.FillColor()},
                    {"filled", g.Filled()},        {"grid_row", g.GridRow()},       {"grid_column", g.GridColumn()},
                    {"channel_mode", g.ChannelMode()}, {"grid_layer", g.GridLayer()}};
  if (const auto* group = dynamic_cast<const TGroup*>(&g)) {
    j["children"] = ordered_json::array();
    for (std::int32_t i = 0; i < group->ChildCount(); ++i) j["children"].push_back(graphicJson(group->Child(i)));
  }
  return j;
}

ordered_json layerJson(const TInfo& info, std::int32_t i) {
  const TLayer& layer = info.Root().Layer(i);
  ordered_json j = {{"name", readableText(layer.Name)}, {"masked", layer.Masked() != 0}};
  j["graphics"] = ordered_json::array();
  for (std::int32_t k = 0; k < layer.Count(); ++k) j["graphics"].push_back(graphicJson(layer.Items(k)));
  j["left_out"] = ordered_json::array();
  for (const auto& d : leftOut(info, i)) {
    j["left_out"].push_back({{"index", d.Index}, {"class", d.ClassName}, {"reason", d.Reason}});
  }
  return j;
}

ordered_json gridJson(const TFrameDataLayer& grid) {
  ordered_json sections = ordered_json::array();
  for (std::int32_t s = 0; s < grid.Count(); ++s) sections.push_back({{"frames", grid.Items(s).Count()}});
  return {{"rows", grid.Rows()},       {"columns", grid.Columns()},   {"cell_width", grid.CellWidth},
          {"cell_height", grid.CellHeight}, {"current", grid.Current != 0}, {"sections", sections},
          {"frames", grid.FrameCount()}};
}

ordered_json entryJson(const TEntry& e) {
  ordered_json j = {{"name", readableText(e.Name)}, {"exists", e.Path.has_value()}};
  if (!e.Path) return j;
  j["path"] = readableText(*e.Path);
  if (!e.Fault.empty()) {
    j["fault"] = readableText(e.Fault);
    return j;
  }
  j["frames"] = e.Frames;
  j["interval_ms"] = e.IntervalMs;
  j["seconds"] = e.Seconds();
  return j;
}

ordered_json infoJson(const TInfo& info) {
  const bool sized = info.Kind != TKind::PlayList;
  ordered_json j = {{"file", readableText(info.Path)},
                    {"width", sized ? ordered_json(info.Width) : ordered_json()},
                    {"height", sized ? ordered_json(info.Height) : ordered_json()},
                    {"version", info.Version > 0 ? ordered_json(info.Version) : ordered_json()}};
  j["plays"] = ordered_json();
  if (sized) {
    const TMoviePlaying p = playing(info);
    j["plays"] = {{"first_frame", 0}, {"last_frame", p.Last}, {"interval_ms", p.IntervalMs}, {"seconds", p.Seconds()}};
  } else {
    const TPlaying total = listTotal(info);
    j["plays"] = {{"frames", total.Frames}, {"seconds", total.Seconds}};
  }
  j["layers"] = ordered_json::array();
  for (std::int32_t i = 0; i < info.Root().LayerCount(); ++i) j["layers"].push_back(layerJson(info, i));
  j["grid_layers"] = ordered_json::array();
  for (const auto& grid : info.Grid()) j["grid_layers"].push_back(gridJson(*grid));
  j["music"] = ordered_json();
  if (!info.Engine().MusicName().empty()) j["music"] = {{"name", readableText(info.Engine().MusicName())}};
  j["notes"] = info.Notes;
  j["entries"] = ordered_json::array();
  for (const TEntry& e : info.Entries) j["entries"].push_back(entryJson(e));
  return j;
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

void printLayer(std::ostream& out, const TInfo& info, std::int32_t i) {
  const TLayer& layer = info.Root().Layer(i);
  out << "layer " << i << " " << printable(layer.Name) << (layer.Masked() ? " (masked)" : "") << ": " << layer.Count()
      << " graphics\n";
  for (std::int32_t k = 0; k < layer.Count(); ++k) {
    const TGraphicBase& g = layer.Items(k);
    out << "  " << k << ": " << g.ClassName() << " code " << int{g.TypeCode()} << ", effect " << int{g.EffectKind()}
        << ", cell (" << g.GridRow() << ", " << g.GridColumn() << ") of grid layer " << g.GridLayer()
        << lampDetails(g) << "\n";
  }
  for (const auto& d : leftOut(info, i)) {
    out << "  left out: " << d.ClassName << " (graphic " << d.Index << " of the file): " << d.Reason << "\n";
  }
}

// Every entry with what one pass plays of it, and the pass in all.
void printPlayList(std::ostream& out, const TInfo& info) {
  out << "play list, " << info.Entries.size() << " entries; one pass plays:\n";
  char line[160];
  for (const TEntry& e : info.Entries) {
    if (!e.Path) {
      out << "  " << printable(e.Name) << " (missing)\n";
    } else if (!e.Fault.empty()) {
      out << "  " << printable(e.Name) << " (cannot be played, skipped: " << printable(e.Fault) << ")\n";
    } else {
      std::snprintf(line, sizeof line, ": %lld frames at %d ms = %.2f s\n", static_cast<long long>(e.Frames),
                    e.IntervalMs, e.Seconds());
      out << "  " << printable(e.Name) << line;
    }
  }
  const TPlaying total = listTotal(info);
  std::snprintf(line, sizeof line, "in all: %lld frames = %.2f s\n", static_cast<long long>(total.Frames),
                total.Seconds);
  out << line;
}

void printSummary(std::ostream& out, const TInfo& info) {
  out << printable(info.Path) << "\n";
  if (info.Kind == TKind::PlayList) {
    printPlayList(out, info);
    return;
  }
  if (info.Version > 0) out << "movie version " << info.Version << ", ";
  out << info.Width << " x " << info.Height << "\n";
  const TMoviePlaying p = playing(info);
  char length[96];
  std::snprintf(length, sizeof length, "plays frames 0–%d at %d ms = %.2f s\n", p.Last, p.IntervalMs, p.Seconds());
  out << length;
  for (std::int32_t i = 0; i < info.Root().LayerCount(); ++i) printLayer(out, info, i);
  for (const std::string& note : info.Notes) out << "note: " << printable(note) << "\n";
  for (std::int32_t i = 0; i < info.Grid().Count(); ++i) {
    const TFrameDataLayer& grid = info.Grid().Items(i);
    out << "grid layer " << i << ": " << grid.Rows() << " x " << grid.Columns() << " cells of " << grid.CellWidth
        << " x " << grid.CellHeight << " pixels, " << grid.Count() << " frame lists, " << grid.FrameCount()
        << " frames stored" << (grid.Current ? " (current)" : "") << "\n";
  }
  if (!info.Engine().MusicName().empty()) out << "music: " << printable(info.Engine().MusicName()) << "\n";
}

int run(const std::string& path, bool json) {
  TInfo info;
  info.Path = path;
  info.Kind = classify(path);
  switch (info.Kind) {
    case TKind::Movie: loadMovie(info, false); break;
    case TKind::Executable: loadMovie(info, true); break;
    case TKind::Grid: loadGrid(info); break;
    case TKind::PlayList: loadPlayList(info); break;
  }
  if (json) {
    // Every text is valid UTF-8 already; the replacing handler is the
    // second line of defence.
    std::cout << infoJson(info).dump(2, ' ', false, ordered_json::error_handler_t::replace) << "\n";
  } else {
    printSummary(std::cout, info);
  }
  return 0;
}

}  // namespace
}  // namespace lumora

int main(int argc, char** argv) {
  CLI::App app("Loads a light show as the player does and prints its structure as it plays.", "lumora-info");
  lumora::SetUpTool(app, "The numbers of layers and graphics are those a channel patch names lamps by.\n");
  std::string path;
  bool json = false;
  app.add_option("FILE", path, "a movie (.ctl), grid movie (.tol, .cot), play list (.lst) or executable")->required();
  app.add_flag("--json", json, "print JSON");
  return lumora::RunTool(app, argc, argv, [&] { return lumora::run(path, json); });
}
