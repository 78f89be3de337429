// Every shipped profile, mapped for a real source, gives a record that a real task converts with:
// the output opens and the conversion runs whenever this build has the profile's encoders, and a
// missing encoder is a clear refusal naming it.
#include "AVProbe.h"
#include "MediaFactory.h"
#include "ProfileCatalogue.h"
#include "ProfileMapping.h"
#include "TestLibraries.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace velto {
namespace {

TEST(ShippedProfilesEngineTest, EveryProfileOpensOrNamesItsMissingEncoder) {
    test::LoadTestLibraries();
    const std::string dir = test::ScratchFolder();
    TAVProbe probe;
    ASSERT_TRUE(probe.LoadFile(test::MakeAviMpeg4Mp2(dir))) << probe.LastError;

    TProfileCatalogue catalogue(SettingsFilePath(VELTO_DATA_DIR),
                                FactoryProfilesPath(VELTO_DATA_DIR));
    catalogue.Load();
    std::vector<TOutputProfile> profiles;
    for (int i = 0; i < int(catalogue.Titles().size()); ++i) {
        catalogue.Select(i);
        profiles.push_back(catalogue.Profile());
    }
    ASSERT_EQ(profiles.size(), 23u);
    // A phone profile on the speech encoder, which Debian's libraries leave out.
    profiles.push_back({"h263", "amr", "176 x 144", "190", "15", "8", "8000", 0, "", 1, ".3gp"});

    TOutputPlacement placement{dir + "/out/", false, {}};
    std::filesystem::create_directories(placement.FolderText);
    std::vector<std::string> refused;
    for (const TOutputProfile& profile : profiles) {
        TOutputOptions record =
            BuildOutputOptions(profile, SelectionFor(profile), probe.GetFileName(), placement);
        SCOPED_TRACE(record.FileName);
        placement.TakenPaths.push_back(record.FileName);
        TFFmpeg task;
        task.InitOptions();
        task.Settings.Verbosity = -1;
        TInputOptions in = BuildInputOptions(probe);
        ApplyInputRecord(task, "", in);
        ASSERT_TRUE(task.OpenInputFile(in.FileName)) << task.LastError;
        ApplyOutputRecord(task, "", record, nullptr, nullptr);

        AVCodecID id;
        const bool encoders = (record.DisableVideo ||
                               task.FindCodecId(record.VideoCodec, AVMEDIA_TYPE_VIDEO, true, id)) &&
                              task.FindCodecId(record.AudioCodec, AVMEDIA_TYPE_AUDIO, true, id);
        const std::string missing = encoders ? "" : task.LastError;
        if (task.OpenOutputFile(record.FileName)) {
            EXPECT_TRUE(encoders);
            // The whole conversion runs and gives a file that opens again: a profile that only
            // opens would still fail the user at its first picture.
            try {
                task.Transcode();
            } catch (const std::exception& error) {
                ADD_FAILURE() << error.what();
            }
            EXPECT_TRUE(task.Finished);
            task.CloseOpenCodecs();
            task.ReleaseFiles();
            TAVProbe output;
            EXPECT_TRUE(output.LoadFile(record.FileName)) << output.LastError;
            EXPECT_EQ(output.VideoStreamCount, record.DisableVideo ? 0 : 1);
        } else {
            // The stream set-up prefixes its context: "new_audio_stream fail: Unknown encoder ...".
            EXPECT_FALSE(encoders) << task.LastError;
            EXPECT_NE(task.LastError.find(missing), std::string::npos) << task.LastError;
            refused.push_back(missing);
        }
    }
    EXPECT_EQ(refused, std::vector<std::string>{"Unknown encoder 'libamr_nb'"});
}

} // namespace
} // namespace velto
