#include "programmers/ProgramImage.h"

#include "frame/Indication.h"
#include "image/HexFile.h"

#include <cstdlib>

ProgramImage::~ProgramImage() {
    Release();
}

uint32_t ProgramImage::Read(const char* filename) {
    Release();
    return ReadHexImage(filename, 0, &buffer_, &size_, &start_);
}

void ProgramImage::Adopt(uint8_t* buffer, uint32_t size, uint32_t start) {
    Release();
    buffer_ = buffer;
    size_ = size;
    start_ = start;
}

void ProgramImage::Release() {
    std::free(buffer_);
    buffer_ = nullptr;
    size_ = 0;
    start_ = 0;
}

bool ReadAnnouncedImage(ProgramImage& image, const char* filename) {
    if (image.Read(filename) != HEX_IMAGE_READY) {
        SendIndication(HEX_FILE_ERROR_IND);
        return false;
    }
    SendIndicationLong(PROGRAM_SIZE_IND, image.Size());
    SendIndicationLong(PROGRAM_OFFSET_IND, image.Start());
    return true;
}
