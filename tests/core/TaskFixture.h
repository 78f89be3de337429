// A task with bound libraries, fresh option state and a log sink that records its lines.
#pragma once

#include "AVUtilHlpr.h"
#include "FFmpeg.h"
#include "TestLibraries.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace velto::test {

struct SinkLine {
    int level;
    std::string text;
};

class TaskTest : public ::testing::Test {
protected:
    void SetUp() override {
        LoadTestLibraries();
        task.InitOptions();
        task.LogSink = [this](TCustomFFmpeg* from, int level, const std::string& text) {
            EXPECT_EQ(from, &task);
            lines.push_back({level, text});
        };
    }

    bool Logged(const std::string& text) const {
        return std::any_of(lines.begin(), lines.end(),
                           [&](const SinkLine& line) { return line.text == text; });
    }

    // Current value of an integer option of a holder (codec, format or scaler context).
    static std::int64_t HolderInt(void* holder, const char* name) {
        std::int64_t value = -12345;
        EXPECT_GE(AVUtilHlpr::av_opt_get_int(holder, name, 0, &value), 0) << name;
        return value;
    }
    void* Codec(AVMediaType kind) { return task.Settings.CodecOptionHolders[kind].get(); }

    // Runs SetOption and returns the message of what it raised ("" when nothing).
    std::string Failure(const std::string& name, const std::string& value) {
        try {
            task.SetOption(name, value);
        } catch (const std::exception& error) {
            return error.what();
        }
        return {};
    }

    TCustomFFmpeg task;
    std::vector<SinkLine> lines;
};

} // namespace velto::test
