// camview-decode: the window's load and first-draw path as a command, for comparing decoders.
#include "picture/stretch.h"
#include "tests/support/jpeg_reference.h"

#include <jerror.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct ToolRun {
    int exitCode = -1;
    QByteArray out, err;
};

class DecodeToolTest : public ::testing::Test {
protected:
    QString Path(const char* name) const { return dir.filePath(name); }

    QString Write(const char* name, const Bytes& bytes) const {
        QFile file(Path(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
        return file.fileName();
    }

    static ToolRun Decode(const QStringList& arguments) {
        QProcess tool;
        tool.start(CAMVIEW_BINARY_DIR "/tools/decode/camview-decode", arguments);
        ToolRun run;
        if (!tool.waitForFinished(20000)) {
            tool.kill();
            tool.waitForFinished(1000);
            ADD_FAILURE() << "camview-decode did not finish";
            return run;
        }
        run.exitCode = tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
        run.out = tool.readAllStandardOutput();
        run.err = tool.readAllStandardError();
        return run;
    }

    static RgbPixels ReadPpm(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? ParsePnm(file.readAll()) : RgbPixels{};
    }

    QTemporaryDir dir;
};

TEST_F(DecodeToolTest, WritesTheBitmapAsDjpegDecodesIt) {
    const Bytes colour = MakeJpeg({.width = 99, .height = 51, .progressive = true});
    const Bytes grey = MakeJpeg({.width = 40, .height = 30, .colour = JpegColour::Grayscale});
    struct Case {
        const char* name;
        const Bytes& jpeg;
        QStringList options, djpeg;
    } const cases[] = {
        {"colour", colour, {}, {"-dct", "float"}},
        {"colour at 8 bits", colour, {"--8bit"}, {"-dct", "float", "-colors", "236", "-dither", "fs"}},
        {"colour on a 4-bit screen", colour, {"--depth", "4"}, {"-dct", "float", "-colors", "236", "-dither", "fs"}},
        {"grayscale", grey, {}, {"-dct", "float", "-colors", "236", "-dither", "fs", "-onepass"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString in = Write("in.jpg", c.jpeg);
        const ToolRun run = Decode(c.options + QStringList{in, Path("out.ppm")});
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        EXPECT_EQ(FirstDifference(ReadPpm(Path("out.ppm")), Djpeg(c.jpeg, c.djpeg)), "");
    }
}

TEST_F(DecodeToolTest, WritesToStandardOutputAndTheAreaOnRequest) {
    const Bytes jpeg = MakeJpeg({.width = 640, .height = 480});
    const ToolRun run = Decode({"--area", Path("area.ppm"), Write("in.jpg", jpeg)});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    auto image = LoadJpeg(jpeg);
    EXPECT_EQ(ParsePnm(run.out), Decoded(*image));
    EXPECT_EQ(ReadPpm(Path("area.ppm")), PixelsOf(StretchPicture(image->Bitmap()->View(), QSize(321, 241))));
}

TEST_F(DecodeToolTest, PrintsTheWindowsMessageAndExitsWithOne) {
    struct Case {
        const char* name;
        Bytes jpeg;
        std::string message;
    } const cases[] = {
        {"an HTML page", {'<', 'h', 't', 'm', 'l', '>'}, "JPEG error #" + std::to_string(JERR_NO_SOI)},
        {"an empty file", {}, "JPEG error #" + std::to_string(JERR_INPUT_EMPTY)},
        {"a picture too large", HugeGrayscaleHeader(20000, 20000),
         "The picture is too large to show (20000 x 20000 pixels; the limit is 268435456 pixels)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ToolRun run = Decode({Write("in.jpg", c.jpeg), Path("out.ppm")});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.err.toStdString(), c.message + "\n");
        EXPECT_FALSE(QFile::exists(Path("out.ppm")));
    }
}

TEST_F(DecodeToolTest, RejectsBadArgumentsWithTwo) {
    const QString in = Write("in.jpg", MakeJpeg({}));
    for (const QStringList& arguments : {QStringList{}, QStringList{"--bogus", in}, QStringList{in, "a", "b"},
                                         QStringList{Path("missing.jpg")}}) {
        EXPECT_EQ(Decode(arguments).exitCode, 2) << arguments.join(' ').toStdString();
    }
}

}  // namespace
