#pragma once
// Encoders of 16-bit mono 44,100 Hz samples into an open file: the WAV file
// a recording writes, and FLAC, Ogg Vorbis and MP3 through libsndfile.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace bleeptone {

enum class ExportFormat { Wav, Flac, Ogg, Mp3 };

class Encoder {
public:
    virtual ~Encoder() = default;
    // Appends samples; false on failure (error() says why).
    virtual bool write(const std::int16_t* samples, std::size_t count) = 0;
    // Completes the stream (trailers, sizes); false on failure.
    virtual bool finish() = 0;
    const std::string& error() const { return error_; }

protected:
    std::string error_;
};

// An encoder writing to file, which must be seekable; frames is the exact
// number of samples that will be written (the WAV header holds it). Null,
// with error set, when the format cannot be written ("this libsndfile cannot
// write MP3 files") or the encoder does not start.
std::unique_ptr<Encoder> makeEncoder(ExportFormat format, std::FILE* file, std::uint64_t frames, std::string& error);

}  // namespace bleeptone
