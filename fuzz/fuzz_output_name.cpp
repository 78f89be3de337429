// Output names from any source name, folder text, file type and list of taken names (one per
// line of the input; a fourth line "1" turns overwriting on): the name is found, and it is never
// the source, never a taken name, and without overwriting never an existing file; or, when no
// number gives a free name, there is none.
#include "FuzzSupport.h"
#include "OutputFileName.h"

#include <filesystem>
#include <fstream>

using namespace velto;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // A source and an earlier output inside the work folder, so that numbering is reached.
    const std::string& folder = fuzz::WorkFolder();
    std::ofstream(folder + "/clip.avi") << "source";
    std::ofstream(folder + "/clip_(new).mp4") << "earlier output";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto fields = fuzz::Fields(data, size, "\n");
    if (fields.size() > 12)
        return -1;
    fields.resize(std::max<std::size_t>(fields.size(), 4));
    const std::string& source = fields[0];
    const std::string& folder = fields[1];
    const std::string& fileType = fields[2];
    const bool overwrite = fields[3] == "1";
    const std::vector<std::string> taken(fields.begin() + 4, fields.end());

    const std::string name = OutputFileName(source, folder, fileType, overwrite, taken);
    if (name.empty())
        return 0; // no free name could be made: the job is refused
    if (SamePath(name, source))
        fuzz::Fail("the output is the source: " + name);
    for (const auto& other : taken)
        if (SamePath(name, other))
            fuzz::Fail("the output is a taken name: " + name);
    std::error_code error;
    if (!overwrite && std::filesystem::exists(std::filesystem::symlink_status(name, error)))
        fuzz::Fail("the output replaces an existing file: " + name);
    return 0;
}
