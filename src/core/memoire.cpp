#include "core/memoire.h"

#include <cstdlib>  // defines __GLIBC__ on glibc

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace quelvane {

void GarderMemoireLiberee() {
#if defined(__GLIBC__)
  // Blocks up to 32 MB (glibc's ceiling) from the heap, not from a mapping of their own; and
  // the heap shrinks only past 64 MB spare. Larger blocks (whole frames) are mapped as before.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 64 << 20);
#endif
}

}  // namespace quelvane
