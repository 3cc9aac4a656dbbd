// What the decoder raises, and when: the header errors at loading, the errors of the first
// draw, the data source's behaviour at the end of the data, and the size limit.
#include "picture/jpeg_source.h"
#include "tests/support/jpeg_reference.h"

#include <jerror.h>

#include <gtest/gtest.h>

#include <functional>

namespace {

const Bytes kGood = MakeJpeg({.width = 64, .height = 48});

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

// Calls `action` and returns the code of the EJPEG it raises; -1 when it raises nothing.
int RaisedCode(const std::function<void()>& action, std::string* message = nullptr) {
    try {
        action();
    } catch (const EJPEG& error) {
        if (message) *message = error.Message();
        return error.Code();
    }
    return -1;
}

TEST(JpegLoadErrors, HeadersTheDecoderRejectsRaiseTheirCodeAtLoading) {
    struct Case {
        const char* name;
        Bytes bytes;
        int code;
    } const cases[] = {
        {"an HTML page", Text("<html><body>401 Unauthorized</body></html>\n"), JERR_NO_SOI},
        {"one byte", {0xFF}, JERR_NO_SOI},
        {"data ending before the frame header", CutBefore(kGood, 0xC0), JERR_NO_IMAGE},
        {"data ending after the frame header", CutAfter(kGood, 0xC0), JERR_SOF_NO_SOS},
        {"a width above 65500", WithSize(kGood, 65501, 48), JERR_IMAGE_TOO_BIG},
        {"a height above 65500", WithSize(kGood, 64, 65535), JERR_IMAGE_TOO_BIG},
        {"12-bit samples", WithPrecision(kGood, 12), JERR_BAD_PRECISION},
        {"a lossless frame", WithFrameType(kGood, 0xC3), JERR_SOF_UNSUPPORTED},
        {"a hierarchical frame", WithFrameType(kGood, 0xC5), JERR_SOF_UNSUPPORTED},
        {"eleven components", WithComponentCount(11), JERR_COMPONENT_COUNT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto image = LoadJpeg(MakeJpeg({.width = 20, .height = 10}));
        std::string message;
        TMemoryStream stream;
        stream.Write(c.bytes.data(), c.bytes.size());
        stream.SetPosition(0);
        EXPECT_EQ(RaisedCode([&] { image->LoadFromStream(stream); }, &message), c.code);
        EXPECT_EQ(message, "JPEG error #" + std::to_string(c.code));
        // A failed load leaves the graphic as it was.
        EXPECT_EQ(image->Width(), 20);
        EXPECT_EQ(Decoded(*image).width, 20);
    }
}

TEST(JpegDrawErrors, AnEmptyBodyRaisesInputEmptyOnceAtTheFirstDraw) {
    auto image = LoadJpeg({});
    EXPECT_EQ(RaisedCode([&] { image->MakeBitmap(); }), JERR_INPUT_EMPTY);
    EXPECT_EQ(RaisedCode([&] { image->MakeBitmap(); }), -1);
    ASSERT_NE(image->Bitmap(), nullptr);
    EXPECT_EQ(image->Bitmap()->Width(), 0);
    EXPECT_EQ(image->DecodeCount(), 1);
}

TEST(JpegDrawErrors, AnErrorAfterTheRowsKeepsThemAndIsRaisedOnce) {
    // A second frame header where the end-of-image marker should be: the library finds it
    // only when finishing, after every row is made.
    Bytes jpeg(kGood.begin(), kGood.end() - 2);
    const Bytes frame = CutAfter(kGood, 0xC0);
    jpeg.insert(jpeg.end(), frame.begin() + std::ptrdiff_t(FindSegment(kGood, 0xC0)), frame.end());
    jpeg.insert(jpeg.end(), {0xFF, 0xD9});
    auto image = LoadJpeg(jpeg);
    EXPECT_EQ(RaisedCode([&] { image->MakeBitmap(); }), JERR_SOF_DUPLICATE);
    EXPECT_EQ(RaisedCode([&] { image->MakeBitmap(); }), -1);
    EXPECT_EQ(PixelsOf(image->Bitmap()->View()), Decoded(*LoadJpeg(kGood)));
}

TEST(JpegDrawErrors, AnErrorBeforeTheFirstRowLeavesAnEmptyBitmap) {
    // A progressive JPEG whose second scan refers to a component the frame does not have: the
    // library reads every scan before the first row.
    Bytes jpeg = MakeJpeg({.width = 32, .height = 32, .progressive = true});
    jpeg[FindScan(jpeg, 1) + 5] = 9;  // the second scan's first component
    auto image = LoadJpeg(jpeg);
    EXPECT_EQ(RaisedCode([&] { image->MakeBitmap(); }), JERR_BAD_COMPONENT_ID);
    EXPECT_EQ(image->Bitmap()->Width(), 0);
}

TEST(JpegDrawErrors, DataCutInsideTheScanIsNoErrorAndDecodesLikeDjpeg) {
    const Bytes progressive = MakeJpeg({.width = 64, .height = 48, .progressive = true});
    struct Case {
        const char* name;
        Bytes bytes;
    } const cases[] = {
        {"baseline, a few bytes in", CutInScan(kGood, 10)},
        {"baseline, half way", Bytes(kGood.begin(), kGood.begin() + std::ptrdiff_t(kGood.size() / 2))},
        {"baseline, only the end marker missing", Bytes(kGood.begin(), kGood.end() - 2)},
        {"progressive, in the first scan", CutInScan(progressive, 40)},
        {"progressive, in a later scan", CutInScan(progressive, 30, 4)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto image = LoadJpeg(c.bytes);
        RgbPixels ours;
        EXPECT_EQ(RaisedCode([&] { ours = Decoded(*image); }), -1);
        EXPECT_EQ(FirstDifference(ours, Djpeg(c.bytes, {"-dct", "float"})), "");
    }
}

// The data source on its own: blocks of 4096 bytes handed over in place, then end-of-image
// markers for ever; an empty first read is the input-empty error.
struct SourceRun {
    std::vector<std::size_t> blocks;  // sizes handed over before the first end-of-image marker
    std::vector<const JOCTET*> starts;
    int errorCode = 0;
};

void FillUntilEnd(j_decompress_ptr cinfo, JpegErrorManager* error, SourceRun* run) {
    if (setjmp(error->jump)) {
        run->errorCode = error->pub.msg_code;
        return;
    }
    for (int i = 0; i < 100; ++i) {
        cinfo->src->fill_input_buffer(cinfo);
        const JOCTET* next = cinfo->src->next_input_byte;
        if (cinfo->src->bytes_in_buffer == 2 && next[0] == 0xFF && next[1] == JPEG_EOI) return;
        run->blocks.push_back(cinfo->src->bytes_in_buffer);
        run->starts.push_back(next);
    }
}

TEST(JpegSource, HandsOverBlocksOf4096ThenEndMarkers) {
    struct Case {
        std::size_t size;
        std::vector<std::size_t> blocks;
        int errorCode;
    } const cases[] = {
        {0, {}, JERR_INPUT_EMPTY}, {1, {1}, 0},         {4096, {4096}, 0},
        {4097, {4096, 1}, 0},      {10000, {4096, 4096, 1808}, 0},
    };
    const Bytes data(10000, 0xAB);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        jpeg_decompress_struct cinfo{};
        JpegErrorManager error{};
        JpegMemorySource source{};
        cinfo.err = JpegInitErrorManager(&error);
        JpegAttachMemorySource(&cinfo, &source, data.data(), c.size);
        SourceRun run;
        FillUntilEnd(&cinfo, &error, &run);
        EXPECT_EQ(run.blocks, c.blocks);
        EXPECT_EQ(run.errorCode, c.errorCode);
        // In place: each block starts where the one before it ended.
        for (std::size_t i = 0, offset = 0; i < run.starts.size(); offset += run.blocks[i++])
            EXPECT_EQ(run.starts[i], data.data() + offset);
    }
}

TEST(JpegSource, SkippingPastTheEndLeavesAnEndMarker) {
    const Bytes data(5000, 0);
    jpeg_decompress_struct cinfo{};
    JpegErrorManager error{};
    JpegMemorySource source{};
    cinfo.err = JpegInitErrorManager(&error);
    JpegAttachMemorySource(&cinfo, &source, data.data(), data.size());
    cinfo.src->fill_input_buffer(&cinfo);
    cinfo.src->skip_input_data(&cinfo, 4000);
    EXPECT_EQ(cinfo.src->next_input_byte, data.data() + 4000);
    cinfo.src->skip_input_data(&cinfo, 1000000);
    ASSERT_EQ(cinfo.src->bytes_in_buffer, 2u);
    EXPECT_EQ(cinfo.src->next_input_byte[1], JPEG_EOI);
}

TEST(JpegSizeLimit, APictureAboveTheLimitRaisesAClearErrorAtTheFirstDraw) {
    auto image = LoadJpeg(HugeGrayscaleHeader(65000, 65000));
    EXPECT_EQ(image->Width(), 65000);
    std::string message;
    EXPECT_EQ(RaisedCode([&] { image->MakeBitmap(); }, &message), 0);
    EXPECT_EQ(message, "The picture is too large to show (65000 x 65000 pixels; the limit is 268435456 pixels)");
    EXPECT_EQ(image->Bitmap()->Width(), 0);
}

TEST(JpegSizeLimit, AHundredMegapixelPictureDecodes) {
    constexpr int kWidth = 10240, kHeight = 9800;
    auto image = LoadJpeg(MakeLargeJpeg(kWidth, kHeight));
    image->MakeBitmap();
    const TJPEGBitmap& bitmap = *image->Bitmap();
    ASSERT_EQ(bitmap.Width(), kWidth);
    ASSERT_EQ(bitmap.Height(), kHeight);
    // Spot checks away from the ramp's jumps from 255 to 0: blue-green-red about
    // (128, 255 - v, v) with v = (x + y) % 256.
    for (const auto& [x, y] : {std::pair{100, 0}, {5000, 4000}, {10000, 9700}, {64, 9799}}) {
        const std::uint8_t* pixel = bitmap.Row(y) + 3 * x;
        const int v = (x + y) % 256;
        EXPECT_NEAR(pixel[0], 128, 8) << x << "," << y;
        EXPECT_NEAR(pixel[1], 255 - v, 8) << x << "," << y;
        EXPECT_NEAR(pixel[2], v, 8) << x << "," << y;
    }
}

}  // namespace
