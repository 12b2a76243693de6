#include "export/encoder.h"

#include <sndfile.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "engine/constants.h"
#include "engine/little_endian.h"
#include "engine/recorder.h"

namespace bleeptone {

namespace {

// The recording's layout: the 44-byte header with both sizes filled in (the
// length is known before the first sample), then the samples, little-endian.
class WavEncoder : public Encoder {
public:
    WavEncoder(std::FILE* file, std::uint64_t frames) : file_(file) {
        auto header = WaveHeader();
        const auto dataBytes = static_cast<std::uint32_t>(2 * frames);
        putLE32(&header[4], dataBytes + kWaveHeaderBytes - 8);
        putLE32(&header[40], dataBytes);
        put(header.data(), header.size());
    }

    bool write(const std::int16_t* samples, std::size_t count) override {
        return put(samples, 2 * count);  // the engine's hosts are little-endian (record_ring.h)
    }
    bool finish() override { return ok_; }

private:
    bool put(const void* data, std::size_t bytes) {
        if (ok_ && std::fwrite(data, 1, bytes, file_) != bytes) {
            ok_ = false;
            error_ = std::strerror(errno);
        }
        return ok_;
    }

    std::FILE* file_;
    bool ok_ = true;
};

// libsndfile writes through these callbacks, so that every failed write is
// seen: its MP3 encoder, for one, does not report short writes itself.
struct FileIo {
    std::FILE* file;
    int error = 0;  // errno of the first failure
};

FileIo& io(void* user) { return *static_cast<FileIo*>(user); }

void noteError(FileIo& f) {
    if (!f.error) f.error = errno ? errno : EIO;
}

sf_count_t ioLength(void* user) {
    struct stat st;
    if (std::fflush(io(user).file) != 0 || ::fstat(::fileno(io(user).file), &st) != 0) {
        noteError(io(user));
        return -1;
    }
    return st.st_size;
}

sf_count_t ioSeek(sf_count_t offset, int whence, void* user) {
    if (::fseeko(io(user).file, offset, whence) != 0) {
        noteError(io(user));
        return -1;
    }
    return ::ftello(io(user).file);
}

sf_count_t ioRead(void* ptr, sf_count_t count, void* user) {
    return static_cast<sf_count_t>(std::fread(ptr, 1, static_cast<std::size_t>(count), io(user).file));
}

sf_count_t ioWrite(const void* ptr, sf_count_t count, void* user) {
    const std::size_t n = std::fwrite(ptr, 1, static_cast<std::size_t>(count), io(user).file);
    if (n != static_cast<std::size_t>(count)) noteError(io(user));
    return static_cast<sf_count_t>(n);
}

sf_count_t ioTell(void* user) { return ::ftello(io(user).file); }

const char* formatName(ExportFormat format) {
    switch (format) {
        case ExportFormat::Flac: return "FLAC";
        case ExportFormat::Ogg: return "Ogg Vorbis";
        case ExportFormat::Mp3: return "MP3";
        case ExportFormat::Wav: break;
    }
    return "WAV";
}

int sndfileFormat(ExportFormat format) {
    switch (format) {
        case ExportFormat::Flac: return SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
        case ExportFormat::Ogg: return SF_FORMAT_OGG | SF_FORMAT_VORBIS;
        case ExportFormat::Mp3: return SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;
        case ExportFormat::Wav: break;
    }
    return 0;
}

// Quality of the lossy formats, for square-wave music where artefacts show:
// Vorbis quality 0.5 (about "-q 5"); MP3 variable bit rate at compression
// 0.2 (LAME's "-V 2"). FLAC keeps libsndfile's default level (5).
bool setQuality(SNDFILE* sf, ExportFormat format) {
    if (format == ExportFormat::Ogg) {
        double quality = 0.5;
        return sf_command(sf, SFC_SET_VBR_ENCODING_QUALITY, &quality, sizeof quality) == SF_TRUE;
    }
    if (format == ExportFormat::Mp3) {
        // The level first: setting the mode re-applies it.
        double level = 0.2;
        int mode = SF_BITRATE_MODE_VARIABLE;
        return sf_command(sf, SFC_SET_COMPRESSION_LEVEL, &level, sizeof level) == SF_TRUE &&
               sf_command(sf, SFC_SET_BITRATE_MODE, &mode, sizeof mode) == SF_TRUE;
    }
    return true;
}

class SndfileEncoder : public Encoder {
public:
    explicit SndfileEncoder(std::FILE* file) : io_{file} {}
    ~SndfileEncoder() override {
        if (sf_) sf_close(sf_);
    }

    bool open(ExportFormat format) {
        SF_INFO info{};
        info.samplerate = kSampleRate;
        info.channels = 1;
        info.format = sndfileFormat(format);
        if (!sf_format_check(&info)) {
            error_ = std::string("this libsndfile cannot write ") + formatName(format) + " files";
            return false;
        }
        sf_ = sf_open_virtual(&callbacks_, SFM_WRITE, &info, &io_);
        if (!sf_) return fail(std::string("cannot start the ") + formatName(format) + " encoder");
        if (!setQuality(sf_, format)) return fail(std::string("cannot set the ") + formatName(format) + " quality");
        return true;
    }

    bool write(const std::int16_t* samples, std::size_t count) override {
        const auto n = static_cast<sf_count_t>(count);
        return (sf_write_short(sf_, samples, n) == n && !io_.error) || fail("");
    }

    bool finish() override {
        const int code = sf_close(sf_);
        sf_ = nullptr;
        if (io_.error) return fail("");
        if (code != 0) error_ = sf_error_number(code);
        return code == 0;
    }

private:
    // What failed, then why: the system's reason when a write failed, else
    // libsndfile's (its last global error once the handle is gone).
    bool fail(const std::string& what) {
        const std::string why = io_.error ? std::strerror(io_.error) : sf_strerror(sf_);
        error_ = what.empty() ? why : what + ": " + why;
        return false;
    }

    FileIo io_;
    SF_VIRTUAL_IO callbacks_{ioLength, ioSeek, ioRead, ioWrite, ioTell};
    SNDFILE* sf_ = nullptr;
};

}  // namespace

std::unique_ptr<Encoder> makeEncoder(ExportFormat format, std::FILE* file, std::uint64_t frames, std::string& error) {
    if (format == ExportFormat::Wav) {
        auto wav = std::make_unique<WavEncoder>(file, frames);
        if (!wav->finish()) {
            error = wav->error();
            return nullptr;
        }
        return wav;
    }
    auto encoder = std::make_unique<SndfileEncoder>(file);
    if (!encoder->open(format)) {
        error = encoder->error();
        return nullptr;
    }
    return encoder;
}

}  // namespace bleeptone
