// The counter of paper order ids, kept in the settings profile so that ids
// stay unique from one run to the next.
#pragma once

#include <cstdint>

// The next id (after the one stored, or 0 when none); save 1 writes it to
// the profile at once.
int32_t next_paper_order_id(int save);
// Gives the order bookkeeping this counter.  Called once at start-up.
void install_paper_order_counter();
