// Writing pixmaps as PNG files (the demo's screenshots).
#include <fcntl.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/png.h"

namespace {

[[noreturn]] void PngWriteError(png_structp png, png_const_charp message) {
    auto* error = static_cast<std::string*>(png_get_error_ptr(png));
    if (error != nullptr) *error = message;
    png_longjmp(png, 1);
}
void PngWriteWarning(png_structp, png_const_charp) {}

// Where the encoder's bytes go: the file, and the system's reason when it
// takes them not (a full disk), which libpng's own writer would lose.
struct TPngOutput {
    std::FILE* file = nullptr;
    int error = 0;
};

void PngWriteBytes(png_structp png, png_bytep bytes, png_size_t count) {
    auto* out = static_cast<TPngOutput*>(png_get_io_ptr(png));
    if (std::fwrite(bytes, 1, count, out->file) != count) {
        out->error = errno != 0 ? errno : EIO;
        png_error(png, "write error");
    }
}

void PngFlushBytes(png_structp png) {
    auto* out = static_cast<TPngOutput*>(png_get_io_ptr(png));
    if (std::fflush(out->file) != 0) {
        out->error = errno != 0 ? errno : EIO;
        png_error(png, "write error");
    }
}

// Holds no C++ objects, so nothing is skipped when libpng jumps back.
bool Encode(png_structp png, png_infop info, TPngOutput* out, const TPixmap& pixmap, int colorType, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_write_fn(png, out, PngWriteBytes, PngFlushBytes);
    // Screenshots are mostly black and flat colour: fast compression loses
    // little on them.
    png_set_compression_level(png, 3);
    png_set_IHDR(png, info, static_cast<png_uint_32>(pixmap.width), static_cast<png_uint_32>(pixmap.height), 8,
                 colorType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    return true;
}

struct TWriter {
    std::FILE* file = nullptr;
    png_structp png = nullptr;
    png_infop info = nullptr;
    std::string libpngError;
    ~TWriter() {
        if (png != nullptr) png_destroy_write_struct(&png, info != nullptr ? &info : nullptr);
        if (file != nullptr) std::fclose(file);
    }
};

// `created` tells whether the file was made, so that a failure after that
// takes the partial file away (and never a file that could not be opened).
bool Write(const TPixmap& pixmap, const std::string& path, std::string& why, bool& created) {
    int colorType = PNG_COLOR_TYPE_RGB_ALPHA;
    if (pixmap.format == PIXEL_FORMAT_I8) colorType = PNG_COLOR_TYPE_GRAY;
    if (pixmap.format == PIXEL_FORMAT_RGB8) colorType = PNG_COLOR_TYPE_RGB;

    TWriter w;
    w.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &w.libpngError, PngWriteError, PngWriteWarning);
    if (w.png != nullptr) w.info = png_create_info_struct(w.png);
    if (w.png == nullptr || w.info == nullptr) {
        why = "cannot start the PNG encoder";
        return false;
    }
    w.file = std::fopen(path.c_str(), "wb");
    if (w.file == nullptr) {
        why = std::string("cannot create the file: ") + std::strerror(errno);
        return false;
    }
    created = true;
    std::vector<png_bytep> rows(static_cast<std::size_t>(pixmap.height));
    for (std::int32_t y = 0; y < pixmap.height; ++y) rows[static_cast<std::size_t>(y)] = pixmap.PixelPtr(0, y);
    TPngOutput out{w.file, 0};
    errno = 0;
    if (!Encode(w.png, w.info, &out, pixmap, colorType, rows.data())) {
        why = out.error != 0 ? std::string("cannot write the file: ") + std::strerror(out.error)
                             : "cannot encode the image: " + w.libpngError;
        return false;
    }
    // Write errors (a full disk) show at the latest when the file is closed.
    const bool flushed = std::fflush(w.file) == 0 && std::ferror(w.file) == 0;
    const int flushError = errno;
    const bool closed = std::fclose(w.file) == 0;
    const int closeError = errno;
    w.file = nullptr;
    if (!flushed || !closed) {
        why = std::string("cannot write the file: ") + std::strerror(flushed ? closeError : flushError);
        return false;
    }
    return true;
}

}  // namespace

bool SavePngPixmap(const TPixmap& pixmap, const std::string& path, std::string* error) {
    std::string ignored;
    std::string& why = error != nullptr ? *error : ignored;
    why.clear();
    if (pixmap.pixels == nullptr || pixmap.width < 1 || pixmap.height < 1 || BytesPerPixel(pixmap.format) == 0) {
        why = "no image to write";
        return false;
    }
    const bool direct =
        pixmap.format == PIXEL_FORMAT_I8 || pixmap.format == PIXEL_FORMAT_RGB8 || pixmap.format == PIXEL_FORMAT_RGBA8;
    std::unique_ptr<TPixmap> converted;
    if (!direct) {
        converted = pixmap.Convert(PIXEL_FORMAT_RGBA8);
        if (!converted) {
            why = "cannot convert the image to RGBA";
            return false;
        }
    }
    bool created = false;
    if (Write(direct ? pixmap : *converted, path, why, created)) return true;
    // Only a regular file is taken away: writing to a device that failed
    // (/dev/full) must not remove the device.
    struct stat status {};
    if (created && stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode)) std::remove(path.c_str());
    return false;
}

// Windows has neither flag; its check closes the file at once, and has no
// pipes in the file system to wait on.
#ifndef O_CLOEXEC
#define O_CLOEXEC 0
#endif
#ifndef O_NONBLOCK
#define O_NONBLOCK 0
#endif

bool CanSavePngAt(const std::string& path, std::string* error) {
    std::string ignored;
    std::string& why = error != nullptr ? *error : ignored;
    why.clear();
    // Made here or not at all (O_EXCL), so that a file already there is
    // neither truncated nor taken away; one made here is removed at once.
    int file = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (file >= 0) {
        close(file);
        unlink(path.c_str());
        return true;
    }
    if (errno == EEXIST) {
        // Already there: it must open for writing as it is, without being
        // made (a dangling link stays dangling), truncated, or waited on
        // (a pipe with no reader).
        file = open(path.c_str(), O_WRONLY | O_APPEND | O_NONBLOCK | O_CLOEXEC);
        if (file >= 0) {
            close(file);
            return true;
        }
    }
    why = std::string("cannot create the file: ") + std::strerror(errno);
    return false;
}
