#include "accessibility/text_search.h"

#include <utf8proc.h>

#include <algorithm>

#include "accessibility/utf16_text.h"
#include "windows/canonical_text.h"

namespace cuh {

CanonicalText::CanonicalText(std::string_view utf8) {
  std::vector<DecodedCodePoint> points = decodeUtf8(utf8);
  byteOffsets_.push_back(0);
  utf16Offsets_.push_back(0);
  std::string cluster;
  utf8proc_int32_t state = 0;
  auto closeCluster = [&](int64_t endOffset) {
    nfc_ += canonicalForm(cluster);
    cluster.clear();
    byteOffsets_.push_back(nfc_.size());
    utf16Offsets_.push_back(endOffset);
  };
  for (size_t i = 0; i < points.size(); ++i) {
    if (i > 0 && utf8proc_grapheme_break_stateful(
                     static_cast<utf8proc_int32_t>(points[i - 1].codePoint),
                     static_cast<utf8proc_int32_t>(points[i].codePoint), &state)) {
      closeCluster(points[i].utf16Offset);
    }
    appendUtf8(cluster, points[i].codePoint);
  }
  if (!points.empty())
    closeCluster(points.back().utf16Offset + utf16Units(points.back().codePoint));
}

std::optional<size_t> CanonicalText::boundaryAtByte(size_t byte) const {
  auto it = std::lower_bound(byteOffsets_.begin(), byteOffsets_.end(), byte);
  if (it == byteOffsets_.end() || *it != byte)
    return std::nullopt;
  return static_cast<size_t>(it - byteOffsets_.begin());
}

std::optional<CanonicalText::Match> CanonicalText::find(std::string_view needle,
                                                        size_t from) const {
  if (needle.empty() || from >= clusterCount())
    return std::nullopt;
  for (size_t byte = nfc_.find(needle, byteOffsets_[from]); byte != std::string::npos;
       byte = nfc_.find(needle, byte + 1)) {
    auto begin = boundaryAtByte(byte);
    if (!begin)
      continue;
    auto end = boundaryAtByte(byte + needle.size());
    if (end)
      return Match{*begin, *end};
  }
  return std::nullopt;
}

bool CanonicalText::endsWithAt(size_t boundary, std::string_view needle) const {
  size_t end = byteOffsets_[boundary];
  if (needle.size() > end)
    return false;
  size_t begin = end - needle.size();
  return nfc_.compare(begin, needle.size(), needle) == 0 && boundaryAtByte(begin).has_value();
}

bool CanonicalText::startsWithAt(size_t boundary, std::string_view needle) const {
  size_t begin = byteOffsets_[boundary];
  if (needle.size() > nfc_.size() - begin)
    return false;
  return nfc_.compare(begin, needle.size(), needle) == 0 &&
         boundaryAtByte(begin + needle.size()).has_value();
}

std::string searchForm(std::string_view utf8) {
  std::string sanitized;
  sanitized.reserve(utf8.size());
  for (const DecodedCodePoint& point : decodeUtf8(utf8))
    appendUtf8(sanitized, point.codePoint);
  return canonicalForm(sanitized);
}

std::vector<TextOccurrence> acceptedOccurrences(std::string_view text,
                                                std::string_view needle,
                                                std::string_view prefix,
                                                std::string_view suffix) {
  std::vector<TextOccurrence> accepted;
  if (text.empty() || needle.empty())
    return accepted;
  CanonicalText searched(text);
  const std::string wanted = searchForm(needle);
  const std::string before = searchForm(prefix);
  const std::string after = searchForm(suffix);
  size_t position = 0;
  while (position < searched.clusterCount()) {
    auto match = searched.find(wanted, position);
    if (!match)
      break;
    bool prefixHolds = before.empty() || searched.endsWithAt(match->begin, before);
    bool suffixHolds = after.empty() || searched.startsWithAt(match->end, after);
    if (prefixHolds && suffixHolds) {
      int64_t start = searched.utf16Offset(match->begin);
      accepted.push_back({start, searched.utf16Offset(match->end) - start});
    }
    // A match always covers at least one cluster, so the search advances.
    position = std::max(match->end, match->begin + 1);
  }
  return accepted;
}

}  // namespace cuh
