// Makes the media the cluster checks convert: COUNT copies of one short clip (clip0.avi, ...)
// and one damaged file (damaged.avi) in FOLDER, with the test media factory.
//   velto_make_clips FOLDER COUNT
#include "MediaFactory.h"
#include "TestLibraries.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

int main(int argc, char** argv) {
    if (argc != 3 || std::atoi(argv[2]) <= 0) {
        std::fprintf(stderr, "usage: velto_make_clips FOLDER COUNT\n");
        return 2;
    }
    namespace fs = std::filesystem;
    const std::string folder = argv[1];
    fs::create_directories(folder);
    velto::test::LoadTestLibraries();
    const std::string made = velto::test::MakeAviMpeg4Mp2(folder, 1.0);
    for (int i = 0; i < std::atoi(argv[2]); ++i)
        fs::copy_file(made, folder + "/clip" + std::to_string(i) + ".avi",
                      fs::copy_options::overwrite_existing);
    fs::remove(made);
    velto::test::MakeRandomFile(folder, "damaged.avi", 8192, 5);
    return 0;
}
