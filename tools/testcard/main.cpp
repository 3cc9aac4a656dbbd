// camview-testcard: a CGI program that answers every request with a fresh JPEG test card.
// The demo camera maps its snapshot path to this program. The request counter lives in the
// file named by CAMVIEW_TESTCARD_COUNTER, shared by all requests of one demo camera; without
// it every card shows number 1.
#include "card.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include <jpeglib.h>  // needs FILE and size_t declared first

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr int kQuality = 85;

/// Adds one to the number in `path` (created when missing) and returns the new number.
/// Requests run as concurrent processes, so the update happens under an exclusive lock.
/// Returns 0 when the file cannot be used; the card is still worth serving then.
unsigned long NextCount(const char* path) {
    const int fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0 || flock(fd, LOCK_EX) != 0) {
        std::perror(path);
        if (fd >= 0) close(fd);
        return 0;
    }
    char text[32] = {};
    const ssize_t length = pread(fd, text, sizeof text - 1, 0);
    unsigned long count = length > 0 ? std::strtoul(text, nullptr, 10) + 1 : 1;
    const std::string written = std::to_string(count) + "\n";
    if (ftruncate(fd, 0) != 0 ||
        pwrite(fd, written.data(), written.size(), 0) != static_cast<ssize_t>(written.size())) {
        std::perror(path);
        count = 0;
    }
    close(fd);  // also releases the lock
    return count;
}

CardState Now(unsigned long counter) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    return {counter, local.tm_hour, local.tm_min, local.tm_sec, static_cast<int>(now.tv_nsec / 1000000)};
}

/// Compresses `canvas` into a buffer that the caller frees with free().
/// libjpeg's standard error handler prints the message and ends the process, which is the right
/// end for a CGI program: the server then answers with an error status.
void Compress(const Canvas& canvas, unsigned char** data, unsigned long* size) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr error{};
    cinfo.err = jpeg_std_error(&error);
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, data, size);
    cinfo.image_width = canvas.width;
    cinfo.image_height = canvas.height;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);  // YCbCr with 4:2:0 chroma, as cameras send
    jpeg_set_quality(&cinfo, kQuality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    const std::size_t stride = std::size_t(canvas.width) * 3;
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(&canvas.pixels[cinfo.next_scanline * stride]);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
}

}  // namespace

int main() {
    const char* counterFile = std::getenv("CAMVIEW_TESTCARD_COUNTER");
    const unsigned long counter = counterFile && *counterFile ? NextCount(counterFile) : 1;

    Canvas canvas(kWidth, kHeight);
    DrawTestCard(canvas, Now(counter));
    unsigned char* data = nullptr;
    unsigned long size = 0;
    Compress(canvas, &data, &size);

    // A snapshot must never come from a cache: each one is a new picture.
    std::printf("Content-Type: image/jpeg\r\nContent-Length: %lu\r\nCache-Control: no-store\r\n\r\n", size);
    const bool written = std::fwrite(data, 1, size, stdout) == size && std::fflush(stdout) == 0;
    std::free(data);
    return written ? EXIT_SUCCESS : EXIT_FAILURE;
}
