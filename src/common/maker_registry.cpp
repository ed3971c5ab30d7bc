#include "common/maker_registry.h"

namespace qvx {

REGSAM MakerRegistryView() {
  // A 32-bit process already sees the 32-bit view (also under WOW64).
  return sizeof(void*) == 8 ? KEY_WOW64_32KEY : 0;
}

}  // namespace qvx
