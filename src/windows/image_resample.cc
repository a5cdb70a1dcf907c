#include "windows/image_resample.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace cuh {

namespace {

// The source pixels one output pixel reads along one axis, with weights
// that sum to 1.
struct Tap {
  int first = 0;
  std::vector<float> weights;
};

// Shrinking: each output pixel averages the source interval it covers,
// partial pixels at its ends by the covered fraction. Growing: linear
// interpolation between the two nearest source pixel centres, clamped at the
// edges.
std::vector<Tap> axisTaps(int source, int target) {
  std::vector<Tap> taps(static_cast<size_t>(target));
  double scale = static_cast<double>(source) / target;
  for (int i = 0; i < target; ++i) {
    Tap& tap = taps[static_cast<size_t>(i)];
    if (source > target) {
      double begin = i * scale;
      double end = begin + scale;
      tap.first = static_cast<int>(std::floor(begin));
      int last = std::min(source - 1, static_cast<int>(std::ceil(end)) - 1);
      for (int s = tap.first; s <= last; ++s) {
        double overlap = std::min(end, s + 1.0) - std::max(begin, static_cast<double>(s));
        tap.weights.push_back(static_cast<float>(std::max(0.0, overlap) / scale));
      }
    } else {
      double centre = (i + 0.5) * scale - 0.5;
      centre = std::clamp(centre, 0.0, static_cast<double>(source - 1));
      int left = static_cast<int>(std::floor(centre));
      int right = std::min(left + 1, source - 1);
      float fraction = static_cast<float>(centre - left);
      tap.first = left;
      if (right == left) {
        tap.weights = {1.0f};
      } else {
        tap.weights = {1.0f - fraction, fraction};
      }
    }
  }
  return taps;
}

}  // namespace

platform::Image resampleRgba(const platform::Image& source, int width, int height) {
  platform::Image out;
  out.width = std::max(width, 1);
  out.height = std::max(height, 1);
  out.rgba.assign(static_cast<size_t>(out.width) * out.height * 4, 0);
  if (source.width <= 0 || source.height <= 0 ||
      source.rgba.size() != static_cast<size_t>(source.width) * source.height * 4) {
    return out;
  }

  // Premultiplied floats, so that averaging weighs colour by coverage.
  const size_t sw = static_cast<size_t>(source.width);
  const size_t sh = static_cast<size_t>(source.height);
  std::vector<float> premultiplied(sw * sh * 4);
  for (size_t p = 0; p < sw * sh; ++p) {
    float alpha = source.rgba[p * 4 + 3] / 255.0f;
    for (int c = 0; c < 3; ++c)
      premultiplied[p * 4 + c] = source.rgba[p * 4 + c] * alpha;
    premultiplied[p * 4 + 3] = source.rgba[p * 4 + 3];
  }

  // Horizontal pass: source rows to output width.
  const size_t ow = static_cast<size_t>(out.width);
  const size_t oh = static_cast<size_t>(out.height);
  auto columns = axisTaps(source.width, out.width);
  std::vector<float> horizontal(ow * sh * 4, 0.0f);
  for (size_t y = 0; y < sh; ++y) {
    for (size_t x = 0; x < ow; ++x) {
      const Tap& tap = columns[x];
      float* target = &horizontal[(y * ow + x) * 4];
      for (size_t k = 0; k < tap.weights.size(); ++k) {
        const float* from = &premultiplied[(y * sw + tap.first + k) * 4];
        for (int c = 0; c < 4; ++c)
          target[c] += from[c] * tap.weights[k];
      }
    }
  }

  // Vertical pass, then back to straight alpha.
  auto rows = axisTaps(source.height, out.height);
  for (size_t y = 0; y < oh; ++y) {
    const Tap& tap = rows[y];
    for (size_t x = 0; x < ow; ++x) {
      float sum[4] = {0, 0, 0, 0};
      for (size_t k = 0; k < tap.weights.size(); ++k) {
        const float* from = &horizontal[((tap.first + k) * ow + x) * 4];
        for (int c = 0; c < 4; ++c)
          sum[c] += from[c] * tap.weights[k];
      }
      uint8_t* target = &out.rgba[(y * ow + x) * 4];
      float alpha = std::clamp(sum[3], 0.0f, 255.0f);
      target[3] = static_cast<uint8_t>(std::lround(alpha));
      if (target[3] == 0)
        continue;  // fully transparent: colour stays 0
      float unpremultiply = 1.0f / (alpha / 255.0f);
      for (int c = 0; c < 3; ++c) {
        target[c] =
            static_cast<uint8_t>(std::lround(std::clamp(sum[c] * unpremultiply, 0.0f, 255.0f)));
      }
    }
  }
  return out;
}

}  // namespace cuh
