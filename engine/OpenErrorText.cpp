#include "AVProbe.h"

#include "AVUtilHlpr.h"
#include "MyUtils.h"

#include <sys/stat.h>

extern "C" {
#include <libavformat/avformat.h>
}

namespace velto {

// Codes are matched by meaning, since this library generation reports errors as AVERROR values.
std::string OpenErrorText(const std::string& fileName, int code) {
    const char* pattern = "%s: Error while opening file";
    if (code == AVERROR_INVALIDDATA || code == AVERROR_DEMUXER_NOT_FOUND)
        pattern = "%s: Unknown format";
    else if (code == -33)
        pattern = "%s: Incorrect image filename syntax.\r\nUse '%%d' to specify the image "
                  "number:\r\n  for img1.jpg, img2.jpg, ..., use 'img%%d.jpg';\r\n  for "
                  "img001.jpg, img002.jpg, ..., use 'img%%03d.jpg'.";
    else if (code == AVERROR(EINVAL))
        pattern = "%s: Error while parsing header";
    else if (code == AVERROR(ENOMEM))
        pattern = "%s: memory allocation error occurred";
    else if (code == AVERROR(EIO))
        pattern = "%s: I/O error occurred\r\nUsually that means that input file is truncated "
                  "and/or corrupted.";
    else if (code == AVERROR(ENOENT))
        pattern = "%s: no such file or directory";
    return StringPrintf(pattern, fileName.c_str());
}

std::string NotARegularFileText(const std::string& fileName) {
    struct stat info {};
    if (::stat(fileName.c_str(), &info) != 0 || S_ISREG(info.st_mode))
        return {};
    return StringPrintf("%s: not a regular file (a pipe, device or folder)", fileName.c_str());
}

} // namespace velto
