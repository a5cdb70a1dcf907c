#include "accessibility/text_search.h"

#include <utf8proc.h>

#include <algorithm>

#include "accessibility/utf16_text.h"
#include "windows/canonical_text.h"

namespace cuh {

CanonicalText::CanonicalText(std::string_view utf8) {
  byteOffsets_.reserve(utf8.size() + 1);
  utf16Offsets_.reserve(utf8.size() + 1);
  byteOffsets_.push_back(0);
  utf16Offsets_.push_back(0);
  nfc_.reserve(utf8.size());
  std::string cluster;
  bool clusterIsAscii = true;
  int64_t offset = 0;  // UTF-16 offset of the next code point
  auto closeCluster = [&] {
    if (clusterIsAscii)
      nfc_ += cluster;  // ASCII is its own NFC
    else
      nfc_ += canonicalForm(cluster);
    cluster.clear();
    clusterIsAscii = true;
    byteOffsets_.push_back(nfc_.size());
    utf16Offsets_.push_back(offset);
  };
  utf8proc_int32_t state = 0;
  char32_t previous = 0;
  for (size_t i = 0; i < utf8.size();) {
    size_t length = 1;
    const char32_t point = decodeUtf8At(utf8, i, length);
    if (i > 0) {
      bool boundary;
      if (previous < 0x80 && point < 0x80) {
        // Between two ASCII characters there is always a boundary except
        // inside CR LF; a fresh state is what the library would hold after
        // an ASCII character.
        boundary = !(previous == '\r' && point == '\n');
        state = 0;
      } else {
        boundary = utf8proc_grapheme_break_stateful(static_cast<utf8proc_int32_t>(previous),
                                                    static_cast<utf8proc_int32_t>(point), &state);
      }
      if (boundary)
        closeCluster();
    }
    appendUtf8(cluster, point);
    clusterIsAscii = clusterIsAscii && point < 0x80;
    offset += utf16Units(point);
    previous = point;
    i += length;
  }
  if (!utf8.empty())
    closeCluster();
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
