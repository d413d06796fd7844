// cStream, cMemoryStream, cFileStream and the data file locator.
#include "common/media/stream.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

using kxtest::readFile;
using kxtest::TempDir;
using kxtest::writeDataFile;

namespace {

std::string located(const char* name)
{
    char path[512];
    EXPECT_TRUE(locateDataFile(name, path, sizeof path)) << name;
    return path;
}

// Builds a locator stream while capturing what it prints.
struct Located {
    explicit Located(const char* name)
    {
        testing::internal::CaptureStdout();
        stream = new cMemoryStream(name);
        console = testing::internal::GetCapturedStdout();
    }
    ~Located() { delete stream; }
    cMemoryStream* stream;
    std::string console;
};

std::string bytes(const unsigned char* data, int n) { return std::string(reinterpret_cast<const char*>(data), n); }

} // namespace

// ---- folder by extension ---------------------------------------------------

TEST(Locator, TextureExtensions)
{
    EXPECT_EQ(located("logo.jpg"), "data/textures/logo.jpg");
    EXPECT_EQ(located("LOGO.JPG"), "data/textures/LOGO.JPG");
    EXPECT_EQ(located("a.tga"), "data/textures/a.tga");
    EXPECT_EQ(located("a.Gif"), "data/textures/a.Gif");
    EXPECT_EQ(located("a.BMP"), "data/textures/a.BMP");
}

TEST(Locator, MusicExtensionsIncludingThreeCharacterOnes)
{
    EXPECT_EQ(located("song.it"), "data/music/song.it");
    EXPECT_EQ(located("SONG.IT"), "data/music/SONG.IT");
    EXPECT_EQ(located("song.xm"), "data/music/song.xm");
    EXPECT_EQ(located("song.s3m"), "data/music/song.s3m");
    EXPECT_EQ(located("song.MOD"), "data/music/song.MOD");
    EXPECT_EQ(located("hit.wav"), "data/music/hit.wav");
    EXPECT_EQ(located("track.mp3"), "data/music/track.mp3");
}

TEST(Locator, SceneAndVideoExtensions)
{
    EXPECT_EQ(located("x.zen"), "data/scenes/x.zen");
    EXPECT_EQ(located("x.F3D"), "data/scenes/x.F3D");
    EXPECT_EQ(located("x.3ds"), "data/scenes/x.3ds");
    EXPECT_EQ(located("clip.avi"), "data/videos/clip.avi");
    EXPECT_EQ(located("clip.mpg"), "data/videos/clip.mpg");
    EXPECT_EQ(located("clip.WMV"), "data/videos/clip.WMV");
}

TEST(Locator, ShaderExtensions)
{
    EXPECT_EQ(located("glow.frag"), "data/shaders/glow.frag");
    EXPECT_EQ(located("GLOW.GLSL"), "data/shaders/GLOW.GLSL");
    EXPECT_EQ(located("a.frag.txt"), "data/a.frag.txt");
    EXPECT_EQ(located("frag"), "data/frag");
}

TEST(Locator, OtherNamesStayInData)
{
    EXPECT_EQ(located("script.txt"), "data/script.txt");
    EXPECT_EQ(located("noextension"), "data/noextension");
    EXPECT_EQ(located("a.jpeg"), "data/a.jpeg");
    EXPECT_EQ(located("a.jpg.txt"), "data/a.jpg.txt");
    EXPECT_EQ(located("xit"), "data/xit"); // no dot: not ".it"
    EXPECT_EQ(located("a.mp4"), "data/a.mp4");
    EXPECT_EQ(located(""), "data/");
}

TEST(Locator, NamesShorterThanAnExtension)
{
    EXPECT_EQ(located("it"), "data/it");
    EXPECT_EQ(located("t"), "data/t");
    EXPECT_EQ(located("jpg"), "data/jpg");
    EXPECT_EQ(located("tga"), "data/tga");
    EXPECT_EQ(located(".xm"), "data/music/.xm"); // exactly an extension
    EXPECT_EQ(located(".tga"), "data/textures/.tga");
}

TEST(Locator, SubFoldersOfTheNameAreKept)
{
    EXPECT_EQ(located("intro/logo.tga"), "data/textures/intro/logo.tga");
    EXPECT_EQ(located("parts/one.txt"), "data/parts/one.txt");
}

TEST(Locator, PathMustFitItsBuffer)
{
    char path[20];
    // "data/textures/a.tga" is 19 characters: it fits with its terminator.
    EXPECT_TRUE(locateDataFile("a.tga", path, sizeof path));
    EXPECT_STREQ(path, "data/textures/a.tga");
    EXPECT_FALSE(locateDataFile("ab.tga", path, sizeof path));
    EXPECT_TRUE(locateDataFile("abcdefghijklmn", path, sizeof path));
    EXPECT_FALSE(locateDataFile("abcdefghijklmno", path, sizeof path));
}

// ---- the locator's stream --------------------------------------------------

TEST(LocatorStream, ReadsTheWholeFile)
{
    TempDir dir;
    writeDataFile("textures/LOGO.JPG", "JPEGDATA");
    Located f("LOGO.JPG");
    EXPECT_EQ(f.console, "load[data/textures/LOGO.JPG]\n");
    ASSERT_EQ(f.stream->size(), 8u);
    EXPECT_EQ(f.stream->tell(), 0);
    EXPECT_FALSE(f.stream->eof());
    ASSERT_NE(f.stream->data(), nullptr);
    EXPECT_EQ(bytes(f.stream->data(), 8), "JPEGDATA");
}

TEST(LocatorStream, MusicAndScriptFolders)
{
    TempDir dir;
    writeDataFile("music/song.xm", "XM");
    writeDataFile("script.txt", "<demo/>");
    Located music("song.xm");
    EXPECT_EQ(music.console, "load[data/music/song.xm]\n");
    EXPECT_EQ(music.stream->size(), 2u);
    Located script("script.txt");
    EXPECT_EQ(script.console, "load[data/script.txt]\n");
    EXPECT_EQ(bytes(script.stream->data(), 7), "<demo/>");
}

TEST(LocatorStream, MissingFilePrintsLoadThenNotFoundWithTheSamePath)
{
    TempDir dir;
    Located f("missing.tga");
    EXPECT_EQ(f.console, "load[data/textures/missing.tga]\nError: file not found data/textures/missing.tga\n");
    EXPECT_EQ(f.stream->size(), 0u);
    EXPECT_TRUE(f.stream->eof());
    EXPECT_EQ(f.stream->data(), nullptr);

    unsigned char buffer[4] = {1, 2, 3, 4};
    f.stream->read(buffer, 4);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(buffer[3], 0);
}

TEST(LocatorStream, ZeroByteFileIsEmptyWithoutNotFound)
{
    TempDir dir;
    writeDataFile("empty.txt", "");
    Located f("empty.txt");
    EXPECT_EQ(f.console, "load[data/empty.txt]\n");
    EXPECT_EQ(f.stream->size(), 0u);
    EXPECT_TRUE(f.stream->eof());
}

TEST(LocatorStream, FolderInsteadOfFileIsEmpty)
{
    TempDir dir;
    std::filesystem::create_directories("data/folder.txt");
    Located f("folder.txt");
    EXPECT_EQ(f.stream->size(), 0u);
    EXPECT_TRUE(f.stream->eof());
}

TEST(LocatorStream, FileLargerThanTheBufferCanHoldIsRefusedAsUnreadable)
{
    // A sparse file: its size costs no disk space and is never read.
    TempDir dir;
    writeDataFile("textures/huge.tga", "");
    std::filesystem::resize_file("data/textures/huge.tga", (1ull << 31) + 5);
    Located f("huge.tga");
    EXPECT_EQ(f.console, "load[data/textures/huge.tga]\n"
                         "Error: data/textures/huge.tga is too large to read (2147483653 bytes)\n"
                         "Error: file not found data/textures/huge.tga\n");
    EXPECT_EQ(f.stream->size(), 0u);
    EXPECT_TRUE(f.stream->eof());
    EXPECT_EQ(f.stream->data(), nullptr);
}

TEST(LocatorStream, BinaryBytesKeptExactly)
{
    TempDir dir;
    std::string all;
    for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
    all += all;
    writeDataFile("bytes.bin", all);
    Located f("bytes.bin");
    ASSERT_EQ(f.stream->size(), 512u);
    EXPECT_EQ(bytes(f.stream->data(), 512), all);
}

TEST(LocatorStream, OverlongNameGivesEmptyStream)
{
    TempDir dir;
    const std::string name(600, 'n');
    Located f(name.c_str());
    EXPECT_EQ(f.stream->size(), 0u);
    EXPECT_TRUE(f.stream->eof());
}

// ---- cMemoryStream ---------------------------------------------------------

TEST(MemoryStream, EmptyStream)
{
    cMemoryStream s;
    EXPECT_EQ(s.size(), 0u);
    EXPECT_EQ(s.tell(), 0);
    EXPECT_TRUE(s.eof());
    EXPECT_EQ(s.data(), nullptr);
    char c = 'x';
    s.read(&c, 1);
    EXPECT_EQ(c, 0);
    EXPECT_EQ(s.write(&c, 1), 0);
}

TEST(MemoryStream, SeekOrigins)
{
    cMemoryStream s("0123456789", 10);
    EXPECT_EQ(s.seek(4, 0), 0);
    EXPECT_EQ(s.tell(), 4);
    s.seek(3, 1);
    EXPECT_EQ(s.tell(), 7);
    s.seek(-5, 1);
    EXPECT_EQ(s.tell(), 2);
    s.seek(3, 2);
    EXPECT_EQ(s.tell(), 7);
    EXPECT_FALSE(s.eof());
    s.seek(1, 2);
    EXPECT_EQ(s.tell(), 9);
    EXPECT_FALSE(s.eof());
    s.seek(0, 2);
    EXPECT_EQ(s.tell(), 10);
    EXPECT_TRUE(s.eof());
    // Other origins change nothing.
    s.seek(1, 0);
    s.seek(5, 3);
    s.seek(5, -1);
    EXPECT_EQ(s.tell(), 1);
    // Beyond the end, and before the start (unsigned compare): eof.
    s.seek(20, 0);
    EXPECT_TRUE(s.eof());
    s.seek(-1, 0);
    EXPECT_TRUE(s.eof());
}

TEST(MemoryStream, SeekSaturatesInsteadOfOverflowing)
{
    cMemoryStream s("ab", 2);
    s.seek(INT_MAX, 0);
    s.seek(INT_MAX, 1);
    EXPECT_EQ(s.tell(), INT_MAX);
    s.seek(INT_MIN, 0);
    s.seek(-5, 1);
    EXPECT_EQ(s.tell(), INT_MIN);
    s.seek(INT_MIN, 2);
    EXPECT_TRUE(s.eof());
}

TEST(MemoryStream, ReadAdvancesAndReturnsZero)
{
    cMemoryStream s("abcdef", 6);
    char out[4] = {};
    EXPECT_EQ(s.read(out, 3), 0);
    EXPECT_EQ(std::string(out, 3), "abc");
    EXPECT_EQ(s.tell(), 3);
    EXPECT_EQ(s.read(out, 3), 0);
    EXPECT_EQ(std::string(out, 3), "def");
    EXPECT_TRUE(s.eof());
}

TEST(MemoryStream, ReadPastTheEndCopiesWhatRemainsAndZeroesTheRest)
{
    cMemoryStream s("abcd", 4);
    s.seek(2, 0);
    // A guard after the requested length must stay untouched.
    std::vector<unsigned char> out(12, 0xAA);
    s.read(out.data(), 8);
    EXPECT_EQ(out[0], 'c');
    EXPECT_EQ(out[1], 'd');
    for (int i = 2; i < 8; ++i) EXPECT_EQ(out[i], 0) << i;
    for (int i = 8; i < 12; ++i) EXPECT_EQ(out[i], 0xAA) << i;
    EXPECT_EQ(s.tell(), 10); // the position moves by the length asked for
    EXPECT_TRUE(s.eof());

    // Entirely beyond the end, and before the start: zeros only.
    std::fill(out.begin(), out.end(), 0xAA);
    s.read(out.data(), 4);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(out[i], 0);
    s.seek(-3, 0);
    std::fill(out.begin(), out.end(), 0xAA);
    s.read(out.data(), 5);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(out[i], 0) << i;
    EXPECT_EQ(out[5], 0xAA);

    // Zero and negative lengths copy nothing and keep the position.
    s.seek(1, 0);
    s.read(out.data(), 0);
    s.read(out.data(), -4);
    EXPECT_EQ(s.tell(), 1);
    EXPECT_EQ(out[0], 0);
}

TEST(MemoryStream, HugeReadNearTheEndStaysInside)
{
    cMemoryStream s("xyz", 3);
    s.seek(1, 0);
    std::vector<char> out(1 << 16, 'q');
    s.read(out.data(), static_cast<int>(out.size()));
    EXPECT_EQ(out[0], 'y');
    EXPECT_EQ(out[1], 'z');
    EXPECT_EQ(out[2], 0);
    EXPECT_EQ(out.back(), 0);
}

TEST(MemoryStream, WriteStaysInsideTheBuffer)
{
    cMemoryStream s("......", 6);
    s.seek(4, 0);
    EXPECT_EQ(s.write("ABCDEF", 6), 0);
    EXPECT_EQ(s.tell(), 10);
    EXPECT_EQ(bytes(s.data(), 6), "....AB");
    s.seek(0, 0);
    s.write("xy", 2);
    EXPECT_EQ(bytes(s.data(), 6), "xy..AB");
    s.seek(-2, 0);
    s.write("zzzz", 4);
    EXPECT_EQ(bytes(s.data(), 6), "xy..AB");
}

TEST(MemoryStream, CopyConstructorOwnsACopy)
{
    std::string text = "hello";
    cMemoryStream s(text.data(), static_cast<int>(text.size()));
    text[0] = 'J';
    EXPECT_EQ(bytes(s.data(), 5), "hello");
    cMemoryStream none(nullptr, 5);
    EXPECT_EQ(none.size(), 0u);
    cMemoryStream negative("abc", -1);
    EXPECT_EQ(negative.size(), 0u);
}

TEST(MemoryStream, ReleasedBufferIsTheCallersAndReleasedOnce)
{
    auto* s = new cMemoryStream("abc", 3);
    unsigned char* buffer = s->releaseBuffer();
    ASSERT_NE(buffer, nullptr);
    // A second release hands out nothing, so the buffer has one owner.
    EXPECT_EQ(s->releaseBuffer(), nullptr);
    // The stream still reads from the buffer while the caller keeps it.
    char c = 0;
    s->seek(1, 0);
    s->read(&c, 1);
    EXPECT_EQ(c, 'b');
    delete s;
    EXPECT_EQ(buffer[2], 'c');
    delete[] buffer;
}

TEST(MemoryStream, BaseStreamDefaults)
{
    cStream base;
    char c = 'k';
    EXPECT_EQ(base.read(&c, 1), 0);
    EXPECT_EQ(c, 'k');
    EXPECT_EQ(base.write(&c, 1), 0);
    EXPECT_EQ(base.size(), 0u);
    EXPECT_TRUE(base.eof());
    base.seek(3, 0);
    EXPECT_EQ(base.tell(), 3);
}

// ---- cFileStream -----------------------------------------------------------

TEST(FileStream, ReadModeReadsAndTracksPosition)
{
    TempDir dir;
    kxtest::writeFile("f.bin", "0123456789");
    cFileStream f("f.bin", 1);
    ASSERT_TRUE(f.isOpen());
    EXPECT_EQ(f.size(), 10u);
    char out[4] = {};
    EXPECT_EQ(f.read(out, 4), 0);
    EXPECT_EQ(std::string(out, 4), "0123");
    EXPECT_EQ(f.tell(), 4);
    EXPECT_EQ(f.size(), 10u); // size keeps the position
    EXPECT_EQ(f.tell(), 4);
    f.read(out, 2);
    EXPECT_EQ(std::string(out, 2), "45");

    f.seek(2, 2);
    EXPECT_EQ(f.tell(), 8);
    f.read(out, 2);
    EXPECT_EQ(std::string(out, 2), "89");
    f.seek(-5, 1);
    EXPECT_EQ(f.tell(), 5);
    f.read(out, 1);
    EXPECT_EQ(out[0], '5');
    f.seek(0, 2);
    EXPECT_EQ(f.tell(), 10);
    EXPECT_TRUE(f.eof());

    // A read past the end still adds the length asked for.
    f.seek(8, 0);
    f.read(out, 4);
    EXPECT_EQ(f.lastReadCount(), 2);
    EXPECT_EQ(f.tell(), 12);
}

TEST(FileStream, WriteModeTruncatesAndWrites)
{
    TempDir dir;
    kxtest::writeFile("out.bin", "old content that is long");
    {
        cFileStream f("out.bin", 2);
        ASSERT_TRUE(f.isOpen());
        EXPECT_EQ(f.size(), 0u);
        EXPECT_EQ(f.write("new", 3), 0);
        EXPECT_EQ(f.tell(), 3);
        EXPECT_EQ(f.size(), 3u);
    }
    EXPECT_EQ(readFile("out.bin"), "new");
}

TEST(FileStream, ReadWriteModeOpensAnExistingFile)
{
    TempDir dir;
    kxtest::writeFile("rw.bin", "abcdef");
    {
        cFileStream f("rw.bin", 3);
        ASSERT_TRUE(f.isOpen());
        EXPECT_EQ(f.size(), 6u);
        f.seek(2, 0);
        f.write("XY", 2);
    }
    EXPECT_EQ(readFile("rw.bin"), "abXYef");

    testing::internal::CaptureStdout();
    cFileStream missing("nothere.bin", 3);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error: file not found nothere.bin\n");
    EXPECT_FALSE(missing.isOpen());
    EXPECT_FALSE(kxtest::fileExists("nothere.bin"));
}

TEST(FileStream, MissingFile)
{
    TempDir dir;
    testing::internal::CaptureStdout();
    cFileStream f("data/none.txt", 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error: file not found data/none.txt\n");
    EXPECT_FALSE(f.isOpen());
    EXPECT_EQ(f.size(), 0u);
    EXPECT_TRUE(f.eof());
    char c = 'z';
    EXPECT_EQ(f.read(&c, 1), 0);
    EXPECT_EQ(c, 'z');
    EXPECT_EQ(f.write(&c, 1), 0);
    f.seek(0, 2);
    EXPECT_EQ(f.tell(), 0);
}
