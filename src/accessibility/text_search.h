// Searching text the way the platform's default string search does: case-
// sensitive, with canonically equivalent Unicode sequences matching each
// other ("e" + U+0301 finds "é"), and positions reported in UTF-16 code
// units of the searched text.
//
// How equivalence is decided: the searched text is split into extended
// grapheme clusters (user-perceived characters) and each cluster is brought
// to NFC; a needle, prefix or suffix matches when its NFC equals the NFC of
// a run of whole clusters. Canonical composition never crosses a cluster
// boundary, so this equals comparing NFC forms, mapped back to exact UTF-16
// offsets of the original text. Matches never start or end inside a
// cluster: "e" is not found in "é" (either form), nor "\n" inside "\r\n",
// as a user selecting characters would expect.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cuh {

// A run of text in UTF-16 code units of the searched text.
struct TextOccurrence {
  int64_t start = 0;
  int64_t length = 0;
  friend bool operator==(const TextOccurrence&, const TextOccurrence&) = default;
};

// A text prepared for canonical-equivalence search.
class CanonicalText {
 public:
  explicit CanonicalText(std::string_view utf8);

  // Clusters are numbered 0 to count - 1; boundaries 0 to count.
  size_t clusterCount() const { return utf16Offsets_.size() - 1; }
  // The UTF-16 offset of cluster boundary `boundary`.
  int64_t utf16Offset(size_t boundary) const { return utf16Offsets_[boundary]; }
  int64_t utf16Length() const { return utf16Offsets_.back(); }

  // The first run of whole clusters at or after boundary `from` whose NFC is
  // `needle` (which must be in NFC and not empty): its [begin, end)
  // boundaries.
  struct Match {
    size_t begin = 0;
    size_t end = 0;
  };
  std::optional<Match> find(std::string_view needle, size_t from) const;
  // Whether the clusters before boundary `boundary` end with `needle` (NFC).
  bool endsWithAt(size_t boundary, std::string_view needle) const;
  // Whether the clusters from boundary `boundary` on begin with `needle`
  // (NFC).
  bool startsWithAt(size_t boundary, std::string_view needle) const;

 private:
  // The boundary whose NFC byte offset is `byte`, if one is.
  std::optional<size_t> boundaryAtByte(size_t byte) const;

  std::string nfc_;                    // NFC of every cluster, concatenated
  std::vector<size_t> byteOffsets_;    // cluster boundaries in nfc_
  std::vector<int64_t> utf16Offsets_;  // the same boundaries in the original
};

// The NFC form used for needles: invalid UTF-8 replaced by U+FFFD as in the
// searched text, then canonically composed.
std::string searchForm(std::string_view utf8);

// The occurrences of `needle` in `text` accepted by "select_text": a search
// from position 0, each next search continuing at the end of the previous
// occurrence (so occurrences never overlap), keeping those where `prefix` is
// empty or ends right before the occurrence and `suffix` is empty or begins
// right after it. An empty text or an empty needle has none.
std::vector<TextOccurrence> acceptedOccurrences(std::string_view text,
                                                std::string_view needle,
                                                std::string_view prefix,
                                                std::string_view suffix);

}  // namespace cuh
