// Hook ranges as the option record carries them: any text parses into ranges that are whole
// (start not after end, end not negative) and sorted by their end.
#include "FuzzSupport.h"
#include "TaskOptions.h"

#include <string>

using namespace velto;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto ranges = ParseHookRanges(text);
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        if (ranges[i].Start > ranges[i].End || ranges[i].End < 0)
            fuzz::Fail("a range that can never match was kept");
        if (i > 0 && ranges[i - 1].End > ranges[i].End)
            fuzz::Fail("ranges are not sorted by their end");
    }
    return 0;
}
