// Writes the fuzz targets' seed corpora: small media files of every kind the media factory makes
// (for the probe) and the shipped settings and factory profile files (for the settings reader and
// the catalogue). Usage: make_fuzz_seeds <data folder> <corpus folder>.
#include "FuzzSupport.h"
#include "MediaFactory.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

namespace fs = std::filesystem;
using namespace velto;

namespace {

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteAll(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: make_fuzz_seeds <data folder> <corpus folder>\n";
        return 2;
    }
    const fs::path data = argv[1];
    const fs::path out = argv[2];
    for (const char* target : {"probe", "settings_file", "profile_catalogue"})
        fs::create_directories(out / target);

    fuzz::BindLibraries();
    const std::string media = (out / "probe").string();
    const double seconds = 0.2; // a few pictures: small seeds keep the mutations fast
    try {
        test::MakeAviMpeg4Mp2(media, seconds);
        test::MakeMp4H264Aac(media, seconds);
        test::MakeMpegPsMpeg2Mp2(media, seconds);
        test::MakeWav(media, seconds);
        test::MakeMp3(media, seconds);
        test::MakeVideoOnly(media, seconds);
        test::MakeTwoAudio(media, seconds);
        test::MakeWithSubtitle(media, 1.0);
    } catch (const std::exception& e) {
        std::cerr << "make_fuzz_seeds: " << e.what() << "\n";
        return 1;
    }

    const std::string settings = ReadAll(data / "Velto3GPConverter.ini");
    const std::string factory = ReadAll(data / "VideoFormat.dat");
    if (settings.empty() || factory.empty()) {
        std::cerr << "make_fuzz_seeds: shipped data missing in " << data << "\n";
        return 1;
    }
    WriteAll(out / "settings_file" / "settings.ini", settings);
    WriteAll(out / "settings_file" / "factory.dat", factory);
    WriteAll(out / "profile_catalogue" / "shipped", settings + "\n#factory#\n" + factory);
    WriteAll(out / "profile_catalogue" / "settings-only", settings);
    std::cout << "seeds written to " << out.string() << "\n";
    return 0;
}
