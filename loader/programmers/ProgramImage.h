// The image a programmer writes, read from the session's HEX file. The
// holder owns the reader's buffer and frees it however the programmer ends.
#pragma once

#include <cstdint>

class ProgramImage {
  public:
    ProgramImage() = default;
    ~ProgramImage();
    ProgramImage(const ProgramImage&) = delete;
    ProgramImage& operator=(const ProgramImage&) = delete;

    // ReadHexImage's result; 0 when the image is here. A buffer the reader
    // returns on failure is held (and freed) all the same.
    uint32_t Read(const char* filename);
    // Takes over a malloc'ed buffer of size + kHexImageSpareBytes bytes.
    void Adopt(uint8_t* buffer, uint32_t size, uint32_t start);
    void Release();

    bool Present() const { return buffer_ != nullptr; }
    // The buffer holds kHexImageSpareBytes 0xFF bytes after the last one, so
    // word readers may read one byte past an odd size.
    const uint8_t* Bytes() const { return buffer_; }
    uint32_t Size() const { return size_; }
    uint32_t Start() const { return start_; }
    // Size rounded up to whole 16-bit words.
    uint32_t EvenSize() const { return size_ + (size_ & 1u); }

  private:
    uint8_t* buffer_ = nullptr;
    uint32_t size_ = 0;
    uint32_t start_ = 0;
};

// Reads the session's HEX file and tells the host: HEX_FILE_ERROR_IND when it
// cannot be read, otherwise PROGRAM_SIZE_IND and PROGRAM_OFFSET_IND. Returns
// whether the image was read (it may still lack a buffer: check Present()).
bool ReadAnnouncedImage(ProgramImage& image, const char* filename);
