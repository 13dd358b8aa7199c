// Tracked allocations of the data modules.
#include "data/memtrack.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(MemTrack, TableHoldsAHundredBlocksAndClosesGaps)
{
    free_tracked_all();
    std::vector<char*> blocks;
    for (int i = 0; i < TRACKED_MAX; i++) {
        char* b = (char*)alloc_tracked(16);
        ASSERT_NE(b, nullptr);
        for (int k = 0; k < 16; k++)
            EXPECT_EQ(b[k], 0);
        blocks.push_back(b);
    }
    EXPECT_EQ(tracked_count(), TRACKED_MAX);
    // a full table records nothing more
    EXPECT_EQ(alloc_tracked(16), nullptr);
    int extra = 0;
    EXPECT_EQ(track_allocation(&extra), 0);
    EXPECT_EQ(tracked_count(), TRACKED_MAX);

    // freeing from the middle leaves the others tracked, and room for one more
    free_tracked(blocks[50]);
    free_tracked(blocks[0]);
    EXPECT_EQ(tracked_count(), TRACKED_MAX - 2);
    void* own = malloc(8);
    EXPECT_EQ(track_allocation(own), 1);
    EXPECT_EQ(tracked_count(), TRACKED_MAX - 1);
    free_tracked(blocks[99]);
    EXPECT_EQ(tracked_count(), TRACKED_MAX - 2);

    // the exit clean-up frees exactly what is left (the sanitizer sees any double free or leak)
    free_tracked_all();
    EXPECT_EQ(tracked_count(), 0);
}

}  // namespace
