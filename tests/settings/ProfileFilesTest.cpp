#include "settings/ProfileFiles.h"

#include "settings/IniFile.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/stat.h>

using veltrum::DefaultProfilePath;
using veltrum::EIniFileException;
using veltrum::FindCurrentProfile;
using veltrum::PointerFilePath;
using veltrum::WritePointerFile;
using veltrum::test::ReadBytes;
using veltrum::test::TempDir;
using veltrum::test::WriteBytes;

TEST(PointerFilePath, InProgramFolder) {
    EXPECT_EQ(PointerFilePath("/opt/veltrum/"), "/opt/veltrum/app.ini");
    EXPECT_EQ(DefaultProfilePath("/opt/veltrum/"), "/opt/veltrum/Default.vlq");
}

TEST(FindCurrentProfile, FallsBackToDefault) {
    TempDir dir;
    const std::string fallback = dir.Dir() + "Default.vlq";
    // No pointer file, and no profile either: first start.
    EXPECT_EQ(FindCurrentProfile(dir.Dir()), fallback);

    const std::string pointer = dir.File("app.ini");
    // A deleted profile, a folder, an empty value, a section of another name.
    for (const std::string& text :
         {"[Profil]\n01=" + dir.File("gone.vlq") + "\n", "[Profil]\n01=" + dir.Dir() + "\n",
          std::string("[Profil]\n01=\n"), "[Profile]\n01=" + pointer + "\n"}) {
        WriteBytes(pointer, text);
        EXPECT_EQ(FindCurrentProfile(dir.Dir()), fallback) << text;
    }

    // A pointer file that is garbage or not a file at all.
    WriteBytes(pointer, std::string("\0\xff[\n=\x01]", 8));
    EXPECT_EQ(FindCurrentProfile(dir.Dir()), fallback);
    std::filesystem::remove(pointer);
    ASSERT_TRUE(std::filesystem::create_directory(pointer));
    EXPECT_EQ(FindCurrentProfile(dir.Dir()), fallback);

    // A program folder that does not exist.
    EXPECT_EQ(FindCurrentProfile(dir.Dir() + "missing/"), dir.Dir() + "missing/Default.vlq");
}

TEST(FindCurrentProfile, NamedProfileThatExists) {
    TempDir dir;
    const std::string profile = dir.File("Office Router.vlq");
    WriteBytes(profile, "");
    WriteBytes(dir.File("app.ini"), "[profil]\r\n01 =  " + profile + "  \r\n");
    EXPECT_EQ(FindCurrentProfile(dir.Dir()), profile);
}

TEST(WritePointerFile, RecordsCurrentProfile) {
    TempDir dir;
    const std::string profile = dir.File("home.vlq");
    WritePointerFile(dir.Dir(), profile);
    EXPECT_EQ(ReadBytes(dir.File("app.ini")), "[Profil]\n01=" + profile + "\n");
    struct stat st {};
    ASSERT_EQ(::stat(dir.File("app.ini").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // Not yet created: still the default.
    EXPECT_EQ(FindCurrentProfile(dir.Dir()), DefaultProfilePath(dir.Dir()));
    WriteBytes(profile, "[Host]\n01=h\n");
    EXPECT_EQ(FindCurrentProfile(dir.Dir()), profile);

    const std::string other = dir.File("other.vlq");
    WriteBytes(other, "");
    WritePointerFile(dir.Dir(), other);
    EXPECT_EQ(ReadBytes(dir.File("app.ini")), "[Profil]\n01=" + other + "\n");
    EXPECT_EQ(FindCurrentProfile(dir.Dir()), other);
}

TEST(WritePointerFile, MissingProgramFolderFails) {
    TempDir dir;
    const std::string programDir = dir.Dir() + "missing/";
    try {
        WritePointerFile(programDir, dir.File("x.vlq"));
        ADD_FAILURE() << "no error";
    } catch (const EIniFileException& e) {
        EXPECT_STREQ(e.what(), ("Unable to write to " + programDir + "app.ini").c_str());
    }
}

TEST(RemoveStaleTemporaries, RemovesOnlyOldLeftoversOfTheFilesTheProgramWrites) {
    TempDir dir;       // the program's folder, with app.ini
    TempDir elsewhere; // the current profile's folder
    const std::string profile = elsewhere.File("Mine.vlq");
    struct Row {
        std::string path;
        bool old; // last written two minutes ago
        bool gone;
    };
    const std::vector<Row> rows{
        {dir.File(".app.ini.veltrum-tmp-Ab12Cd"), true, true},
        {elsewhere.File(".Mine.vlq.veltrum-tmp-QWErty"), true, true},
        // Younger than a minute: another copy may be writing it.
        {elsewhere.File(".Mine.vlq.veltrum-tmp-fresh1"), false, false},
        // The user's own files, whatever they look like.
        {dir.File(".Default.vlq.backup"), true, false},
        {dir.File(".app.ini.before"), true, false},
        {dir.File(".notes.vlq.ABCDEF"), true, false},
        {elsewhere.File(".Mine.vlq.QWErty"), true, false},
        {dir.File("Default.vlq"), true, false},
        // Not a temporary name of the store's.
        {elsewhere.File(".Mine.vlq.veltrum-tmp-ab-cd1"), true, false},
        {elsewhere.File(".Mine.vlq.veltrum-tmp-abcdefg"), true, false},
        // A profile the program does not use now.
        {dir.File(".Default.vlq.veltrum-tmp-xY9zQ1"), true, false},
        {elsewhere.File(".Other.vlq.veltrum-tmp-QWErty"), true, false},
    };
    const auto age = [](const std::string& path) {
        std::filesystem::last_write_time(path, std::filesystem::file_time_type::clock::now() -
                                                   std::chrono::minutes(2));
    };
    for (const Row& row : rows) {
        WriteBytes(row.path, "[Haslo]\n01=secret\n");
        if (row.old) {
            age(row.path);
        }
    }
    const std::string folder = dir.File(".app.ini.veltrum-tmp-abcdef");
    std::filesystem::create_directory(folder);
    age(folder);

    veltrum::RemoveStaleTemporaries(dir.Dir(), profile);
    for (const Row& row : rows) {
        EXPECT_EQ(std::filesystem::exists(row.path), !row.gone) << row.path;
    }
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    // A folder that cannot be read is no error.
    EXPECT_NO_THROW(veltrum::RemoveStaleTemporaries(dir.Dir() + "missing/", "/nonexistent/x.vlq"));
}
