#pragma once

#include "EventPoster.h"
#include "MouseEntity.h"
#include "RecordingEventPoster.h"

#include <gtest/gtest.h>
#include <vector>

// Fixture for tests of the input entities: a recording poster is installed
// as the process's event poster, and the left-button flag starts released.
class RecordingPosterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        MouseEntity::bLeftBtnDown = false;
        EventPoster::setInstance(&poster);
    }
    void TearDown() override
    {
        EventPoster::setInstance(nullptr);
        MouseEntity::bLeftBtnDown = false;
    }

    std::vector<PostedEvent> events() const { return poster.events(); }

    RecordingEventPoster poster;
};
