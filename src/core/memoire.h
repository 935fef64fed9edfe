#pragma once

namespace quelvane {

// Called once at start by the programs. A reconstruction makes and drops grids of a few
// megabytes every pass: the allocator keeps them for the next pass (up to 64 MB spare)
// instead of handing them back to the system and faulting them in again, page by page.
void GarderMemoireLiberee();

}  // namespace quelvane
