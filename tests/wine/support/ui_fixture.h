// A test fixture whose suite shares one visible host window: without a window manager Wine can take
// seconds to take a top-level window down, so suites create theirs once.
#pragma once

#include "ui_window.h"

#include <gtest/gtest.h>

class UiSharedHostTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        sharedHost_ = new UiHostWindow;
        sharedHost_->Create(60, 60, 420, 240);
    }
    static void TearDownTestSuite() {
        delete sharedHost_;
        sharedHost_ = nullptr;
    }
    void SetUp() override {
        ASSERT_NE(sharedHost_, nullptr);
        ASSERT_TRUE(sharedHost_->GetSafeHwnd());
    }

    static inline UiHostWindow* sharedHost_ = nullptr;
    UiHostWindow& host = *sharedHost_;
};
