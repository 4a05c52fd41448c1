#include <gtest/gtest.h>

#include "platform/log.h"

TEST(LogStamp, FormatsHoursMinutesSecondsHundredths) {
    char buf[64];
    log_format_stamp(buf, sizeof buf, 3725, 120000);
    EXPECT_STREQ(buf, "[1:02:05.12] ");
}
