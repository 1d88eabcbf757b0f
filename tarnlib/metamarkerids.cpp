#include <tarnlib/metamarkerids.h>

namespace TarGse {

const int MIN_META_MARKER_ID = 50000;
const int MAX_META_MARKER_ID = 99999;

}  // namespace TarGse
