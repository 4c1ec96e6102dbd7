#include "output/patch_checker.h"

#include <algorithm>

namespace lumora::output {

namespace {

struct TSpan {
  std::uint64_t Begin;
  std::uint64_t End;
};

// The union of spans, sorted and merged.
std::vector<TSpan> unite(std::vector<TSpan> spans) {
  std::sort(spans.begin(), spans.end(), [](const TSpan& a, const TSpan& b) { return a.Begin < b.Begin; });
  std::vector<TSpan> merged;
  for (const TSpan& s : spans) {
    if (s.Begin == s.End) continue;
    if (!merged.empty() && s.Begin <= merged.back().End) {
      merged.back().End = std::max(merged.back().End, s.End);
    } else {
      merged.push_back(s);
    }
  }
  return merged;
}

// The parts of a (merged) not covered by b (merged).
std::vector<TChannelRange> subtract(const std::vector<TSpan>& a, const std::vector<TSpan>& b) {
  std::vector<TChannelRange> rest;
  std::size_t k = 0;
  for (const TSpan& span : a) {
    std::uint64_t at = span.Begin;
    while (k < b.size() && b[k].End <= at) ++k;
    for (std::size_t j = k; j < b.size() && b[j].Begin < span.End; ++j) {
      if (b[j].Begin > at) rest.push_back({static_cast<std::uint32_t>(at), static_cast<std::uint32_t>(b[j].Begin - at)});
      at = std::max(at, b[j].End);
    }
    if (at < span.End) rest.push_back({static_cast<std::uint32_t>(at), static_cast<std::uint32_t>(span.End - at)});
  }
  return rest;
}

std::vector<TSpan> fixtureSpans(const TChannelPatch& patch) {
  std::vector<TSpan> spans;
  for (const TFixture& f : patch.Fixtures) spans.push_back({f.First, std::uint64_t{f.First} + f.ChannelCount()});
  return spans;
}

void findOverlaps(const TChannelPatch& patch, TPatchCheck& check) {
  const std::vector<TSpan> spans = fixtureSpans(patch);
  std::vector<std::size_t> order;
  for (std::size_t i = 0; i < spans.size(); ++i) {
    if (spans[i].Begin != spans[i].End) order.push_back(i);
  }
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return spans[a].Begin < spans[b].Begin; });
  for (std::size_t i = 0; i < order.size(); ++i) {
    const TSpan& a = spans[order[i]];
    // Every fixture met here starts inside a, so each step is an overlap.
    for (std::size_t j = i + 1; j < order.size() && spans[order[j]].Begin < a.End; ++j) {
      const TSpan& b = spans[order[j]];
      if (check.Overlaps.size() == kMaxListedOverlaps) {
        check.MoreOverlaps = true;
        return;
      }
      const std::uint64_t end = std::min(a.End, b.End);
      check.Overlaps.push_back({std::min(order[i], order[j]), std::max(order[i], order[j]),
                                {static_cast<std::uint32_t>(b.Begin), static_cast<std::uint32_t>(end - b.Begin)}});
    }
  }
}

bool isSent(const std::vector<TSpan>& sent, std::uint64_t begin, std::uint64_t end) {
  const auto after = std::upper_bound(sent.begin(), sent.end(), begin, [](std::uint64_t at, const TSpan& s) { return at < s.Begin; });
  return after != sent.begin() && std::prev(after)->End >= end;
}

// Marks the cells of the layer whose channels are sent, fixture by fixture.
std::vector<bool> carriedCells(const TChannelPatch& patch, std::int32_t layer, const TGridLayerShape& shape,
                               const std::vector<TSpan>& sent) {
  std::vector<bool> carried(static_cast<std::size_t>(shape.Rows) * static_cast<std::size_t>(shape.Columns), false);
  for (const TFixture& f : patch.Fixtures) {
    if (f.Source != TFixtureSource::Grid || f.Layer != layer) continue;
    const std::uint64_t per = ChannelsPerSample(f.Colours);
    for (std::size_t i = 0; i < f.Samples.size(); ++i) {
      const TPoint cell = f.Samples[i];
      const std::uint64_t begin = f.First + i * per;
      if (cell.X < shape.Columns && cell.Y < shape.Rows && isSent(sent, begin, begin + per)) {
        carried[static_cast<std::size_t>(cell.Y) * static_cast<std::size_t>(shape.Columns) + static_cast<std::size_t>(cell.X)] = true;
      }
    }
  }
  return carried;
}

void findUncarried(const TChannelPatch& patch, const TMovieShape& movie, const std::vector<TSpan>& sent,
                   TPatchCheck& check) {
  const bool grid = std::any_of(patch.Fixtures.begin(), patch.Fixtures.end(),
                                [](const TFixture& f) { return f.Source == TFixtureSource::Grid; });
  if (!grid) return;
  for (std::size_t layer = 0; layer < movie.GridLayers.size(); ++layer) {
    const TGridLayerShape& shape = movie.GridLayers[layer];
    if (shape.Rows <= 0 || shape.Columns <= 0) continue;
    const std::vector<bool> carried = carriedCells(patch, static_cast<std::int32_t>(layer), shape, sent);
    TUncarriedCells left{static_cast<std::int32_t>(layer), 0, carried.size(), {}};
    for (std::size_t k = carried.size(); k-- > 0;) {
      if (carried[k]) continue;
      ++left.Count;
      left.First = {static_cast<std::int32_t>(k % static_cast<std::size_t>(shape.Columns)),
                    static_cast<std::int32_t>(k / static_cast<std::size_t>(shape.Columns))};
    }
    if (left.Count > 0) check.Uncarried.push_back(left);
  }
}

std::string channelsText(const TChannelRange& r) {
  if (r.Count == 1) return "channel " + std::to_string(r.First + 1);
  return "channels " + std::to_string(r.First + 1) + "–" + std::to_string(r.First + r.Count);
}

std::string fixtureText(const TChannelPatch& patch, std::size_t index) {
  const std::string& name = patch.Fixtures[index].Name;
  return "fixtures[" + std::to_string(index) + "]" + (name.empty() ? "" : " \"" + name + "\"");
}

}  // namespace

TPatchCheck CheckChannelPatch(const TChannelPatch& patch, const TMovieShape& movie) {
  TPatchCheck check;
  findOverlaps(patch, check);
  const std::vector<TSpan> filled = unite(fixtureSpans(patch));
  std::vector<TSpan> sentSpans;
  for (const TOutputRoute& o : patch.Outputs) sentSpans.push_back({o.First, std::uint64_t{o.First} + o.Count});
  const std::vector<TSpan> sent = unite(std::move(sentSpans));
  check.Unfilled = subtract(sent, filled);
  check.Unsent = subtract(filled, sent);
  findUncarried(patch, movie, sent, check);
  return check;
}

std::string DescribePatchCheck(const TChannelPatch& patch, const TPatchCheck& check) {
  std::string text;
  for (const TFixtureOverlap& o : check.Overlaps) {
    text += channelsText(o.Channels) + ": " + fixtureText(patch, o.Earlier) + " and " + fixtureText(patch, o.Later) +
            " overlap; " + fixtureText(patch, o.Later) + " wins\n";
  }
  if (check.MoreOverlaps) text += "more overlaps than " + std::to_string(kMaxListedOverlaps) + " not listed\n";
  for (const TChannelRange& r : check.Unfilled) text += channelsText(r) + ": sent, but no fixture fills them\n";
  for (const TChannelRange& r : check.Unsent) text += channelsText(r) + ": filled, but no output sends them\n";
  if (text.empty()) text = "no overlaps; every channel sent is filled and every channel filled is sent\n";
  for (const TUncarriedCells& c : check.Uncarried) {
    text += "grid layer " + std::to_string(c.Layer) + ": " + std::to_string(c.Count) + " of " + std::to_string(c.Cells) +
            " cells reach no channel sent, the first at row " + std::to_string(c.First.Y) + ", column " +
            std::to_string(c.First.X) + "\n";
  }
  return text;
}

}  // namespace lumora::output
