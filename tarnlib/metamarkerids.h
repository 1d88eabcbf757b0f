#pragma once

namespace TarGse {

/// Ids given to rule-derived meta-markers lie in this range, clear of the instrument's own
/// marker ids.
extern const int MIN_META_MARKER_ID;
extern const int MAX_META_MARKER_ID;

}  // namespace TarGse
