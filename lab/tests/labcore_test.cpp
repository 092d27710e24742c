// Tests of the lab-work logic over a fresh database folder.
#include <gtest/gtest.h>

#include "lab/labitem.h"

TEST(LabItemInput, IncompleteInputIsRefused) {
    LabItemInput in;
    EXPECT_FALSE(LabItemInputComplete(in));
}
