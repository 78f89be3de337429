// Damaged inputs never crash or hang a run: each ends with its trailers written and a readable
// output, or with a clear error message.
#include "AVProbe.h"
#include "FailureOf.h"
#include "MediaFactory.h"
#include "TranscodeFixture.h"

#include <algorithm>
#include <regex>

namespace velto::test {
namespace {

struct Damage {
    const char* name;
    double keep;        // truncation: fraction of bytes kept; 0 for bit flips
    std::uint32_t seed; // bit flips
};

constexpr Damage kDamages[] = {
    {"cut at 30%", 0.3, 0}, {"cut at 60%", 0.6, 0}, {"cut at 95%", 0.95, 0},
    {"flips seed 1", 0, 1}, {"flips seed 2", 0, 2}, {"flips seed 3", 0, 3},
};

class TranscodeCorruptTest : public TranscodeTest {
protected:
    // Runs one damaged copy of source into output with the given options.
    void RunDamaged(const std::string& source, const Damage& damage, const std::string& output,
                    const std::string& options) {
        SCOPED_TRACE(damage.name);
        const std::string name = std::string("damaged_") + std::to_string(runs++) + "_" +
                                 source.substr(source.find_last_of('/') + 1);
        // The header stays intact so that the input opens and the run itself meets the damage.
        const std::string damaged = damage.keep > 0
                                        ? MakeTruncatedCopy(source, name, damage.keep)
                                        : MakeBitFlippedCopy(source, name, 60, damage.seed, 4096);
        task.ReleaseFiles();
        task.InitOptions();
        if (!FailureOf([&] { task.OpenInputFile(damaged); }).empty())
            return; // refused at opening: not this unit's concern
        ++transcoded;
        task.ApplyOptionText(options);
        ASSERT_NO_THROW(task.OpenOutputFile(Path(output)));
        const std::string failure = Transcode();
        if (failure.empty()) {
            EXPECT_TRUE(task.Finished);
            TAVProbe probe;
            EXPECT_TRUE(probe.LoadFile(Path(output))) << probe.LastError;
        } else {
            EXPECT_NE(failure, "(empty message)");
            failures.push_back(failure);
        }
    }
    int runs = 0;
    int transcoded = 0; // damaged inputs that opened and went through a run
    std::vector<std::string> failures;
};

TEST_F(TranscodeCorruptTest, StreamCopySurvivesDamage) {
    const struct {
        std::string (*make)(const std::string&, double);
        const char* output;
    } sources[] = {
        {MakeAviMpeg4Mp2, "out.avi"}, {MakeMp4H264Aac, "out.mkv"}, {MakeMpegPsMpeg2Mp2, "out.mpg"}};
    for (const auto& source : sources) {
        const std::string file = source.make(folder, 2.0);
        for (const Damage& damage : kDamages) {
            RunDamaged(file, damage, source.output, "vcodec=copy\nacodec=copy");
        }
    }
    EXPECT_GE(transcoded, 12) << "most damaged inputs must reach the run";
}

TEST_F(TranscodeCorruptTest, DecodingSurvivesDamage) {
    const std::string file = MakeAviMpeg4Mp2(folder, 2.0);
    for (const Damage& damage : kDamages) {
        RunDamaged(file, damage, "decoded.avi", "vcodec=mpeg4\nacodec=mp2");
    }
    EXPECT_GE(transcoded, 4);
}

TEST_F(TranscodeCorruptTest, ExitOnErrorEndsCleanlyToo) {
    const std::string file = MakeAviMpeg4Mp2(folder, 2.0);
    for (const Damage& damage : kDamages) {
        RunDamaged(file, damage, "strict.avi", "vcodec=mpeg4\nacodec=mp2\nxerror");
    }
    EXPECT_GE(transcoded, 4);
    // With xerror the first picture the decoder refuses ends the run, naming its stream and
    // what the decoder said.
    const std::regex decoding(R"(Error while decoding stream #0\.[0-9]+: \S.*)");
    EXPECT_TRUE(std::any_of(failures.begin(), failures.end(), [&](const std::string& failure) {
        return std::regex_match(failure, decoding);
    })) << ::testing::PrintToString(failures);
}

} // namespace
} // namespace velto::test
