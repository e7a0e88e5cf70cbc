#include "status/address_probe.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {
typedef std::vector<uint8_t> Bytes;
const Bytes filled_route = {7, 7, 8, 198, 51, 100, 1, 0};
const uint32_t router = inet_addr("198.51.100.1");

uint32_t recorded(const Bytes& options)
{
    return first_recorded_address(options.data(), options.size());
}
}  // namespace

TEST(RecordRoute, FirstRecordedAddressAmongTheOptions)
{
    EXPECT_EQ(recorded({1, 1, 68, 4, 5, 0, 7, 7, 8, 198, 51, 100, 1, 0}), router);  // behind NOPs and a timestamp
    EXPECT_EQ(recorded({7, 6, 8, 198, 51, 100}), 0u);            // no room for a slot
    EXPECT_EQ(recorded({7, 9, 8, 198, 51, 100, 1}), 0u);         // longer than the area
    EXPECT_EQ(recorded({68, 0, 7, 7, 8, 198, 51, 100, 1}), 0u);  // a zero length ends the walk
}

TEST(RecordRoute, ThirtyTwoBitReplyAreaReadsBytes31To34)
{
    uint8_t area[reply_area_size_32] = {};
    memcpy(area + echo_reply_record_size_32, filled_route.data(), 7);
    EXPECT_EQ(slot_in_reply_area(area, sizeof area, echo_reply_record_size_32), router);  // behind the record
    EXPECT_EQ(slot_in_reply_area(area, sizeof area, reply_area_size_32 - 6), 0u);        // its slot would end outside
    EXPECT_EQ(slot_in_reply_area(area, sizeof area, 4096), 0u);
}
