#include "base/windowplace.h"

#include <algorithm>
#include <cstdint>

WindowPlace ClampPlace(const WindowPlace& stored, const WindowPlace& area) {
  WindowPlace p;
  p.width = std::clamp(stored.width, 0, std::max(area.width, 0));
  p.height = std::clamp(stored.height, 0, std::max(area.height, 0));
  // Computed in 64 bits: a stored edge may be near the ends of int.
  const std::int64_t right = std::int64_t{area.left} + area.width - p.width;
  const std::int64_t bottom = std::int64_t{area.top} + area.height - p.height;
  p.left = static_cast<int>(std::clamp<std::int64_t>(stored.left, area.left, right));
  p.top = static_cast<int>(std::clamp<std::int64_t>(stored.top, area.top, bottom));
  return p;
}
