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

TEST(RemoveStaleTemporaries, RemovesOnlyOldLeftoversOfTheProgramsOwnFiles) {
    TempDir dir;
    TempDir elsewhere;
    const auto plant = [](const std::string& path, bool old) {
        WriteBytes(path, "[Haslo]\n01=secret\n");
        if (old) {
            std::filesystem::last_write_time(path, std::filesystem::file_time_type::clock::now() -
                                                       std::chrono::minutes(2));
        }
    };
    const std::string profile = elsewhere.File("Mine.vlq");
    const std::vector<std::string> gone{dir.File(".app.ini.Ab12Cd"), dir.File(".Default.vlq.xY9zQ1"),
                                        dir.File(".Home.VLQ.000000"), elsewhere.File(".Mine.vlq.QWErty")};
    const std::vector<std::string> kept{
        dir.File(".Default.vlq.fresh1"),     // younger than a minute: another copy may be writing it
        dir.File(".notes.txt.abcdef"),       // not one of the program's files
        dir.File(".Default.vlq.ab-cd1"),     // not a temporary name
        dir.File(".Default.vlq.abcdefg"),    // one letter too many
        dir.File("Default.vlq"),             // the profile itself
        elsewhere.File(".Other.vlq.QWErty"), // a folder of the user's: only the current profile's go
    };
    for (const std::string& path : gone) {
        plant(path, true);
    }
    for (const std::string& path : kept) {
        plant(path, path != dir.File(".Default.vlq.fresh1"));
    }
    std::filesystem::create_directory(dir.File(".Old.vlq.abcdef"));
    std::filesystem::last_write_time(dir.File(".Old.vlq.abcdef"),
                                     std::filesystem::file_time_type::clock::now() - std::chrono::minutes(2));

    veltrum::RemoveStaleTemporaries(dir.Dir(), profile);
    for (const std::string& path : gone) {
        EXPECT_FALSE(std::filesystem::exists(path)) << path;
    }
    for (const std::string& path : kept) {
        EXPECT_TRUE(std::filesystem::exists(path)) << path;
    }
    EXPECT_TRUE(std::filesystem::is_directory(dir.File(".Old.vlq.abcdef")));
    // A folder that cannot be read is no error.
    EXPECT_NO_THROW(veltrum::RemoveStaleTemporaries(dir.Dir() + "missing/", "/nonexistent/x.vlq"));
}
