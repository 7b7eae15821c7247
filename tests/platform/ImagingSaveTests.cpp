#include "ImagingTestFiles.h"
#include "TestSupport.h"

#include "platform/ImagingLib.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// Asks made by a save, answered from a fixed number of drawn rows.
struct TRowsAsked {
    std::vector<int32_t> Asked;
    int32_t Drawn = 0;

    static int32_t __stdcall Ready(int32_t rows, void* data)
    {
        auto* self = static_cast<TRowsAsked*>(data);
        self->Asked.push_back(rows);
        return rows <= self->Drawn ? 1 : 0;
    }
};

// The files of a folder, "." and ".." left out.
std::vector<std::string> FilesIn(const std::string& folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        std::string name = data.cFileName;
        if (name != "." && name != "..")
            names.push_back(name);
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return names;
}

std::string NewFolder(const std::string& name)
{
    std::string folder = TestTempFile(name);
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

} // namespace

TEST(ImagingSave, RowsAreAskedForTopDownBeforeTheyAreRead)
{
    TOwnedBitmap bitmap;
    // Wide enough that the encoder reads it in several bands.
    bitmap.Bitmap = MakePatternBitmap(2000, 1000);
    const std::string folder = NewFolder("rows");
    for (int32_t format : {IL_FILE_PNG, IL_FILE_JFIF, IL_FILE_BMP}) {
        SCOPED_TRACE(format);
        TRowsAsked rows;
        rows.Drawn = 1000;
        const std::string name = folder + "\\rows" + std::to_string(format);
        ASSERT_EQ(IL_SaveBitmapRows(name.c_str(), &bitmap, format, 24, 0, 0, &TRowsAsked::Ready, &rows), IL_SUCCESS);
        ASSERT_FALSE(rows.Asked.empty());
        EXPECT_TRUE(std::is_sorted(rows.Asked.begin(), rows.Asked.end()));
        EXPECT_EQ(rows.Asked.back(), 1000);
        if (format == IL_FILE_BMP)
            EXPECT_EQ(rows.Asked.size(), 1u) << "a BMP starts with the bottom row";
        else
            EXPECT_GT(rows.Asked.size(), 1u) << "encoding starts before the last rows are drawn";
        TOwnedBitmap loaded;
        ASSERT_EQ(IL_LoadFile(name.c_str(), &loaded, 24, 1, 0, nullptr, nullptr, nullptr, nullptr), IL_SUCCESS);
        EXPECT_EQ(loaded->Width, 2000);
        EXPECT_EQ(loaded->Height, 1000);
        if (format != IL_FILE_JFIF) {
            EXPECT_EQ(PixelAt(loaded.Bitmap, 1234, 987), PatternColour(1234, 987));
        }
    }
    EXPECT_EQ(FilesIn(folder).size(), 3u) << "no temporary files stay behind";
}

TEST(ImagingSave, AStoppedOrFailedSaveLeavesTheOldFileAndNoTemporaryOne)
{
    TOwnedBitmap bitmap;
    bitmap.Bitmap = MakePatternBitmap(200, 800);
    const std::string folder = NewFolder("stopped");
    const std::string name = folder + "\\picture.png";
    WriteFileBytes(name, TBytes{'o', 'l', 'd'});
    for (int32_t format : {IL_FILE_PNG, IL_FILE_JFIF, IL_FILE_BMP}) {
        SCOPED_TRACE(format);
        TRowsAsked rows;
        rows.Drawn = 100;
        EXPECT_EQ(IL_SaveBitmapRows(name.c_str(), &bitmap, format, 24, 0, 0, &TRowsAsked::Ready, &rows), IL_FAILURE);
        EXPECT_EQ(ReadFileBytes(name), (TBytes{'o', 'l', 'd'}));
        EXPECT_EQ(FilesIn(folder), std::vector<std::string>{"picture.png"});
    }
    // A picture the library cannot write is refused before any file is made.
    TILBitmapHandle empty;
    EXPECT_EQ(IL_SaveBitmap(name.c_str(), &empty, IL_FILE_PNG, 24, 0, 0), IL_ERROR_NO_BITMAP);
    EXPECT_EQ(IL_SaveBitmap(name.c_str(), &bitmap, IL_FILE_GIF, 24, 0, 0), IL_ERROR_FEATURE_NOT_SUPPORTED);
    EXPECT_EQ(FilesIn(folder), std::vector<std::string>{"picture.png"});

    // A complete save replaces the old file.
    ASSERT_EQ(IL_SaveBitmap(name.c_str(), &bitmap, IL_FILE_PNG, 24, 0, 0), IL_SUCCESS);
    TOwnedBitmap loaded;
    ASSERT_EQ(IL_LoadFile(name.c_str(), &loaded, 24, 1, 0, nullptr, nullptr, nullptr, nullptr), IL_SUCCESS);
    EXPECT_EQ(PixelAt(loaded.Bitmap, 199, 799), PatternColour(199, 799));
    EXPECT_EQ(FilesIn(folder), std::vector<std::string>{"picture.png"});
}

TEST(ImagingSave, UnwritableTargetsFailClearly)
{
    TOwnedBitmap bitmap;
    bitmap.Bitmap = MakePatternBitmap(20, 20);
    const std::string missing = TestTempFile("no-such-folder\\picture.png");
    EXPECT_EQ(IL_SaveBitmap(missing.c_str(), &bitmap, IL_FILE_PNG, 24, 0, 0), IL_ERROR_FILE_OPEN);
    EXPECT_EQ(IL_SaveBitmap("", &bitmap, IL_FILE_BMP, 24, 0, 0), IL_ERROR_INV_FILENAME);
    EXPECT_EQ(IL_SaveBitmap(nullptr, &bitmap, IL_FILE_BMP, 24, 0, 0), IL_ERROR_INV_FILENAME);
    // A folder of that name is in the way.
    const std::string folder = NewFolder("in-the-way.png");
    EXPECT_EQ(IL_SaveBitmap(folder.c_str(), &bitmap, IL_FILE_PNG, 24, 0, 0), IL_ERROR_FILE_OPEN);
    EXPECT_TRUE(FilesIn(folder).empty());
}
