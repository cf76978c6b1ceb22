#include "LinuxRenderHost.h"

#include "OutputFile.h"
#include "PngFile.h"
#include "SecureRandom.h"

namespace duskmere {

bool LinuxRenderHost::writePng(const PixelRows& picture, OutputFile& file, std::string& error) {
    return duskmere::writePng(picture, file, error);
}

uint64_t LinuxRenderHost::secureRandomSeed() { return newSeed(); }

}  // namespace duskmere
