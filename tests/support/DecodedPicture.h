// Reads back what a converted file shows: one decoded picture's luma, its video stream's colour
// tags and display matrix, and the container's tags. Through the engine's own binding.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace velto::test {

struct DecodedPicture {
    int width = 0;
    int height = 0;
    int depth = 8;                           // bits a sample
    std::vector<std::uint16_t> luma;         // width * height, row by row
    std::vector<std::uint16_t> red;          // the Cr plane, at half width and height (4:2:0)
    int primaries = 0;                       // the stream's AVColorPrimaries
    int transfer = 0;                        // AVColorTransferCharacteristic
    int matrix = 0;                          // AVColorSpace
    int range = 0;                           // AVColorRange
    bool displayMatrix = false;              // the stream still carries one
    std::map<std::string, std::string> tags; // the container's

    // Mean luma of a region given in fractions of the picture (0..1).
    double Mean(double left, double top, double right, double bottom) const;
    // The same for the Cr plane.
    double MeanRed(double left, double top, double right, double bottom) const;
};

// The picture number `index` (counting from 0) of the first video stream; width 0 when the file
// cannot be read or has no such picture.
DecodedPicture DecodePicture(const std::string& path, int index = 0);

} // namespace velto::test
