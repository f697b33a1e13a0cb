// The one change the engine makes to a carried EXIF block: its picture size.
#pragma once

#include <cstdint>
#include <vector>

namespace tv::img {

// Writes width and height into PixelXDimension (0xA002) and PixelYDimension
// (0xA003) of the Exif sub-IFD (tag 0x8769 of IFD0), in place: only the value
// bytes of those two entries change, never the block's length or any other
// byte. block is the TIFF data (header onwards, no "Exif\0\0" prefix). A tag
// is written only when it is SHORT or LONG with count 1 and the value fits
// its type; others are left alone. The block is trusted for nothing: on any
// structural doubt (a bad header, an offset or IFD past the end, the sub-IFD
// overlapping IFD0 or the header, a tag given twice) it is left unchanged.
// Returns how many of the two tags were written.
int exif_set_pixel_size(std::vector<std::uint8_t>& block, std::uint32_t width, std::uint32_t height);

}  // namespace tv::img
