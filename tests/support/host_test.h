// The GoogleTest fixture of the native tests that need a host without a runtime.
#pragma once
#include "support/host_fixture.h"

#include <gtest/gtest.h>

class HostTest : public ::testing::Test {
  protected:
    host_fixture fx;
    void SetUp() override { ASSERT_TRUE(host_fixture_up(&fx, false)); }
    void TearDown() override { host_fixture_down(&fx); }
};
