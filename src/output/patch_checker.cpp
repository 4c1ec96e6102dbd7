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

std::string channelsText(const TChannelRange& r) {
  if (r.Count == 1) return "channel " + std::to_string(r.First + 1);
  return "channels " + std::to_string(r.First + 1) + "–" + std::to_string(r.First + r.Count);
}

std::string fixtureText(const TChannelPatch& patch, std::size_t index) {
  const std::string& name = patch.Fixtures[index].Name;
  return "fixtures[" + std::to_string(index) + "]" + (name.empty() ? "" : " \"" + name + "\"");
}

}  // namespace

TPatchCheck CheckChannelPatch(const TChannelPatch& patch) {
  TPatchCheck check;
  findOverlaps(patch, check);
  const std::vector<TSpan> filled = unite(fixtureSpans(patch));
  std::vector<TSpan> sentSpans;
  for (const TOutputRoute& o : patch.Outputs) sentSpans.push_back({o.First, std::uint64_t{o.First} + o.Count});
  const std::vector<TSpan> sent = unite(std::move(sentSpans));
  check.Unfilled = subtract(sent, filled);
  check.Unsent = subtract(filled, sent);
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
  return text;
}

}  // namespace lumora::output
